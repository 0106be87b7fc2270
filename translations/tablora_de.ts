<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>PrintSpool</name>
    <message>
        <source>The print server is not running</source>
        <translation>Der Druckserver läuft nicht</translation>
    </message>
    <message>
        <source>The print server does not answer</source>
        <translation>Der Druckserver antwortet nicht</translation>
    </message>
    <message>
        <source>Looking for printers...</source>
        <translation>Drucker werden gesucht...</translation>
    </message>
    <message>
        <source>Sending to printer...</source>
        <translation>Wird an den Drucker gesendet...</translation>
    </message>
    <message>
        <source>There is no default printer</source>
        <translation>Es gibt keinen Standarddrucker</translation>
    </message>
    <message>
        <source>Save the drawn pages as a PDF file instead?</source>
        <translation>Die gezeichneten Seiten stattdessen als PDF-Datei speichern?</translation>
    </message>
    <message>
        <source>Save the drawn pages</source>
        <translation>Gezeichnete Seiten speichern</translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation>PDF-Dateien (*.pdf)</translation>
    </message>
    <message>
        <source>Cannot write the file %1.</source>
        <translation>Die Datei %1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>The printer &apos;%1&apos; does not exist</source>
        <translation>Der Drucker „%1“ existiert nicht</translation>
    </message>
    <message>
        <source>Cannot send the job to the printer: %1</source>
        <translation>Der Auftrag kann nicht an den Drucker gesendet werden: %1</translation>
    </message>
    <message>
        <source>Cannot create the print job&apos;s temporary file: %1</source>
        <translation>Die temporäre Datei des Druckauftrags kann nicht angelegt werden: %1</translation>
    </message>
    <message>
        <source>The printer &apos;%1&apos; cannot be reached: the print server does not answer</source>
        <translation>Der Drucker „%1“ ist nicht erreichbar: Der Druckserver antwortet nicht</translation>
    </message>
    <message>
        <source>the program %1 cannot be started</source>
        <translation>das Programm %1 kann nicht gestartet werden</translation>
    </message>
    <message>
        <source>%1 stopped unexpectedly</source>
        <translation>%1 wurde unerwartet beendet</translation>
    </message>
    <message>
        <source>%1 failed with status %2</source>
        <translation>%1 ist mit dem Status %2 gescheitert</translation>
    </message>
</context>
<context>
    <name>QtPrinterDevice</name>
    <message>
        <source>Printing in progress</source>
        <translation>Es wird bereits gedruckt</translation>
    </message>
    <message>
        <source>No file was chosen for the PDF output</source>
        <translation>Für die PDF-Ausgabe wurde keine Datei gewählt</translation>
    </message>
    <message>
        <source>Printer is not currently printing</source>
        <translation>Der Drucker druckt gerade nicht</translation>
    </message>
    <message>
        <source>The printer cannot start a new page</source>
        <translation>Der Drucker kann keine neue Seite beginnen</translation>
    </message>
    <message>
        <source>Cannot write the print job&apos;s temporary file %1</source>
        <translation>Die temporäre Datei %1 des Druckauftrags kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Cannot write the PDF file %1</source>
        <translation>Die PDF-Datei %1 kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>The printer %1 cannot start a print job</source>
        <translation>Der Drucker %1 kann keinen Druckauftrag beginnen</translation>
    </message>
</context>
<context>
    <name>TContactSheet</name>
    <message>
        <source>Page %1 of %2</source>
        <translation>Seite %1 von %2</translation>
    </message>
    <message>
        <source>Page {page} of {pages}</source>
        <translation>Seite {page} von {pages}</translation>
    </message>
    <message>
        <source>Building File List</source>
        <translation>Dateiliste wird erstellt</translation>
    </message>
    <message>
        <source>Calculating Pages</source>
        <translation>Seiten werden berechnet</translation>
    </message>
    <message>
        <source>Please Wait</source>
        <translation>Bitte warten</translation>
    </message>
    <message>
        <source>cannot read</source>
        <translation>nicht lesbar</translation>
    </message>
    <message>
        <source>You need to build the archive first!
<byte value="xd"/>
<byte value="xd"/>Select the folder to build the archive
<byte value="xd"/>from, then click the Build button.</source>
        <translation>Sie müssen zuerst das Archiv erstellen!
<byte value="xd"/>
<byte value="xd"/>Wählen Sie den Ordner, aus dem das Archiv
<byte value="xd"/>entstehen soll, und klicken Sie dann auf „Erstellen“.</translation>
    </message>
    <message>
        <source>Try again</source>
        <translation>Bitte erneut versuchen</translation>
    </message>
    <message>
        <source>Tablora Print Task</source>
        <translation>Tablora-Druckauftrag</translation>
    </message>
    <message>
        <source>Printing Page %1 of %2</source>
        <translation>Seite %1 von %2 wird gedruckt</translation>
    </message>
</context>
<context>
    <name>tablora::PreviewStatus</name>
    <message>
        <source>Loading pictures… %1%</source>
        <translation>Bilder werden geladen… %1%</translation>
    </message>
</context>
<context>
    <name>tablora::TMainActions</name>
    <message>
        <source>&lt;h3&gt;Tablora %1&lt;/h3&gt;&lt;p&gt;Contact sheets of a folder tree of photographs.&lt;/p&gt;&lt;p&gt;Licensed under the GNU General Public License, version 2 or (at your option) any later version (GPL-2.0-or-later).&lt;/p&gt;&lt;p&gt;Built with these libraries, under the licences named:&lt;/p&gt;&lt;ul&gt;%2&lt;/ul&gt;</source>
        <translation>&lt;h3&gt;Tablora %1&lt;/h3&gt;&lt;p&gt;Kontaktbögen eines Ordnerbaums voller Fotografien.&lt;/p&gt;&lt;p&gt;Lizenziert unter der GNU General Public License, Version 2 oder (nach Ihrer Wahl) jeder späteren Version (GPL-2.0-or-later).&lt;/p&gt;&lt;p&gt;Erstellt mit diesen Bibliotheken, unter den genannten Lizenzen:&lt;/p&gt;&lt;ul&gt;%2&lt;/ul&gt;</translation>
    </message>
    <message>
        <source>About Tablora</source>
        <translation>Über Tablora</translation>
    </message>
</context>
<context>
    <name>tablora::T_Main</name>
    <message>
        <source>Archive Title (This will print at the top of each page)</source>
        <translation>Archivtitel (wird oben auf jede Seite gedruckt)</translation>
    </message>
    <message>
        <source>Rows</source>
        <translation>Zeilen</translation>
    </message>
    <message>
        <source>Columns</source>
        <translation>Spalten</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Erneuern</translation>
    </message>
    <message>
        <source>Select Font</source>
        <translation>Schriftart</translation>
    </message>
    <message>
        <source>Page Setup</source>
        <translation>Seitenformat</translation>
    </message>
    <message>
        <source>&amp;Build</source>
        <translation>&amp;Erstellen</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Drucken</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Build cancelled</source>
        <translation>Erstellen abgebrochen</translation>
    </message>
    <message>
        <source>No pictures in %1</source>
        <translation>Keine Bilder in %1</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Gespeichert unter %1</translation>
    </message>
</context>
<context>
    <name>tablora::T_Options</name>
    <message>
        <source>Tablora Options</source>
        <translation>Tablora-Optionen</translation>
    </message>
    <message>
        <source>Printing facing pages causes Tablora to switch the position of the album title and page numbers every other page.  It will also switch the left and right margins.</source>
        <translation>Beim Drucken gegenüberliegender Seiten vertauscht Tablora auf jeder zweiten Seite die Stellen von Albumtitel und Seitenzahl.  Auch der linke und der rechte Rand werden vertauscht.</translation>
    </message>
    <message>
        <source>Print Facing Pages</source>
        <translation>Gegenüberliegende Seiten drucken</translation>
    </message>
    <message>
        <source>Print Page Numbers</source>
        <translation>Seitenzahlen drucken</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Order:</source>
        <translation>Reihenfolge:</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Natural (IMG_2 before IMG_10)</source>
        <translation>Natürlich (IMG_2 vor IMG_10)</translation>
    </message>
    <message>
        <source>Date taken</source>
        <translation>Aufnahmedatum</translation>
    </message>
    <message>
        <source>Minimum rating:</source>
        <translation>Mindestbewertung:</translation>
    </message>
    <message>
        <source>Any</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>&amp;Layout:</source>
        <translation>&amp;Vorlage:</translation>
    </message>
    <message>
        <source>Second caption line:</source>
        <translation>Zweite Bildunterschrift:</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Belichtung</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <source>Lens</source>
        <translation>Objektiv</translation>
    </message>
    <message>
        <source>Focal</source>
        <translation>Brennweite</translation>
    </message>
    <message>
        <source>ISO</source>
        <translation>ISO</translation>
    </message>
    <message>
        <source>Rating</source>
        <translation>Bewertung</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Keep thumbnails in the desktop&apos;s cache</source>
        <translation>Miniaturen im Cache des Desktops behalten</translation>
    </message>
    <message>
        <source>Largest size of the cache:</source>
        <translation>Größe des Caches höchstens:</translation>
    </message>
    <message>
        <source> MiB</source>
        <translation> MiB</translation>
    </message>
</context>
<context>
    <name>tablora::T_Processing</name>
    <message>
        <source>Working...</source>
        <translation>In Arbeit...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>tablora::T_Splash</name>
    <message>
        <source>Contact sheets of your photographs</source>
        <translation>Kontaktbögen Ihrer Fotografien</translation>
    </message>
</context>
</TS>
