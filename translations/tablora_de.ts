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
    <name>tablora::FolderExportDialog</name>
    <message>
        <source>Print each folder to PDF</source>
        <translation>Jeden Ordner als PDF drucken</translation>
    </message>
    <message>
        <source>&amp;Browse…</source>
        <translation>&amp;Durchsuchen…</translation>
    </message>
    <message>
        <source>Folder for the sheets</source>
        <translation>Ordner für die Bögen</translation>
    </message>
    <message>
        <source>One per folder, of its own pictures</source>
        <translation>Einer je Ordner, mit seinen eigenen Bildern</translation>
    </message>
    <message>
        <source>One per top folder, with everything below it</source>
        <translation>Einer je oberem Ordner, mit allem darunter</translation>
    </message>
    <message>
        <source>{path}: the folder below the built one, its / making subfolders; {folder}: its name; {date}: the earliest taken; {count}: the pictures</source>
        <translation>{path}: der Ordner unterhalb des erstellten, sein / ergibt Unterordner; {folder}: sein Name; {date}: das früheste Aufnahmedatum; {count}: die Anzahl der Bilder</translation>
    </message>
    <message>
        <source>&amp;Write a manifest beside each sheet</source>
        <translation>Neben jeden Bogen eine &amp;Bildliste schreiben</translation>
    </message>
    <message>
        <source>CSV</source>
        <translation>CSV</translation>
    </message>
    <message>
        <source>JSON</source>
        <translation>JSON</translation>
    </message>
    <message>
        <source>Save &amp;into:</source>
        <translation>Speichern &amp;in:</translation>
    </message>
    <message>
        <source>&amp;Sheets:</source>
        <translation>&amp;Bögen:</translation>
    </message>
    <message>
        <source>&amp;Names:</source>
        <translation>&amp;Namen:</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Drucken</translation>
    </message>
    <message>
        <source>Choose the folder the sheets go into.</source>
        <translation>Wählen Sie den Ordner, in den die Bögen kommen.</translation>
    </message>
    <message>
        <source>Names may hold {path}, {folder}, {date} and {count}, not %1.</source>
        <translation>Namen dürfen {path}, {folder}, {date} und {count} enthalten, nicht %1.</translation>
    </message>
    <message>
        <source>The names must name a file inside the folder, such as {path}.pdf.</source>
        <translation>Die Namen müssen eine Datei im Ordner benennen, etwa {path}.pdf.</translation>
    </message>
    <message>
        <source>The folders %1 and %2 would both be written to %3. Nothing was written; put {path} in the names.</source>
        <translation>Die Ordner %1 und %2 würden beide nach %3 geschrieben. Es wurde nichts geschrieben; nehmen Sie {path} in die Namen auf.</translation>
    </message>
    <message>
        <source>The names give no file name for the folder %1. Nothing was written.</source>
        <translation>Die Namen ergeben keinen Dateinamen für den Ordner %1. Es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Folder %1 of %2: %3</source>
        <translation>Ordner %1 von %2: %3</translation>
    </message>
    <message>
        <source>Cancelled. %1 of %2 sheets were written to %3.</source>
        <translation>Abgebrochen. %1 von %2 Bögen wurden nach %3 geschrieben.</translation>
    </message>
    <message>
        <source>The sheet of the folder %1 could not be written:
%2

%3 of %4 sheets were written to %5.</source>
        <translation>Der Bogen des Ordners %1 konnte nicht geschrieben werden:
%2

%3 von %4 Bögen wurden nach %5 geschrieben.</translation>
    </message>
    <message>
        <source>1 sheet was written to %1.</source>
        <translation>1 Bogen wurde nach %1 geschrieben.</translation>
    </message>
    <message>
        <source>%1 sheets were written to %2.</source>
        <translation>%1 Bögen wurden nach %2 geschrieben.</translation>
    </message>
</context>
<context>
    <name>tablora::PageSetupDialog</name>
    <message>
        <source>Page Setup</source>
        <translation>Seitenformat</translation>
    </message>
    <message>
        <source>&amp;Paper:</source>
        <translation>&amp;Papier:</translation>
    </message>
    <message>
        <source>P&amp;ortrait</source>
        <translation>&amp;Hochformat</translation>
    </message>
    <message>
        <source>&amp;Landscape</source>
        <translation>&amp;Querformat</translation>
    </message>
    <message>
        <source>Orientation:</source>
        <translation>Ausrichtung:</translation>
    </message>
    <message>
        <source> mm</source>
        <translation> mm</translation>
    </message>
    <message>
        <source>&amp;Top margin:</source>
        <translation>Rand &amp;oben:</translation>
    </message>
    <message>
        <source>&amp;Bottom margin:</source>
        <translation>Rand &amp;unten:</translation>
    </message>
    <message>
        <source>Le&amp;ft margin:</source>
        <translation>Rand &amp;links:</translation>
    </message>
    <message>
        <source>&amp;Right margin:</source>
        <translation>Rand &amp;rechts:</translation>
    </message>
</context>
<context>
    <name>tablora::PreviewPicker</name>
    <message>
        <source>Cannot be read: %1</source>
        <translation>Nicht lesbar: %1</translation>
    </message>
    <message>
        <source>Left out of the sheet</source>
        <translation>Aus dem Bogen ausgelassen</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Show in &amp;folder</source>
        <translation>Im &amp;Ordner zeigen</translation>
    </message>
    <message>
        <source>&amp;Copy path</source>
        <translation>&amp;Pfad kopieren</translation>
    </message>
    <message>
        <source>&amp;Bring back</source>
        <translation>&amp;Zurückholen</translation>
    </message>
    <message>
        <source>&amp;Leave out</source>
        <translation>&amp;Auslassen</translation>
    </message>
    <message>
        <source>&amp;Show left-out pictures</source>
        <translation>Ausgelassene Bilder &amp;einblenden</translation>
    </message>
    <message>
        <source>Bring back &amp;all left-out pictures</source>
        <translation>Alle ausgelassenen Bilder zurück&amp;holen</translation>
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
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Choose folder…</source>
        <translation>Ordner &amp;wählen…</translation>
    </message>
    <message>
        <source>&amp;Recent folders</source>
        <translation>&amp;Zuletzt benutzte Ordner</translation>
    </message>
    <message>
        <source>(none yet)</source>
        <translation>(noch keine)</translation>
    </message>
    <message>
        <source>&amp;Build</source>
        <translation>&amp;Erstellen</translation>
    </message>
    <message>
        <source>&amp;Print…</source>
        <translation>&amp;Drucken…</translation>
    </message>
    <message>
        <source>&amp;Save page as…</source>
        <translation>Seite &amp;speichern unter…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Fit &amp;page</source>
        <translation>&amp;Ganze Seite</translation>
    </message>
    <message>
        <source>Fit &amp;width</source>
        <translation>Seiten&amp;breite</translation>
    </message>
    <message>
        <source>&amp;Actual size</source>
        <translation>&amp;Originalgröße</translation>
    </message>
    <message>
        <source>Zoom &amp;in</source>
        <translation>Ver&amp;größern</translation>
    </message>
    <message>
        <source>Zoom &amp;out</source>
        <translation>Ver&amp;kleinern</translation>
    </message>
    <message>
        <source>&amp;Show left-out pictures</source>
        <translation>&amp;Ausgelassene Bilder einblenden</translation>
    </message>
    <message>
        <source>&amp;First page</source>
        <translation>&amp;Erste Seite</translation>
    </message>
    <message>
        <source>Pre&amp;vious page</source>
        <translation>&amp;Vorige Seite</translation>
    </message>
    <message>
        <source>&amp;Next page</source>
        <translation>&amp;Nächste Seite</translation>
    </message>
    <message>
        <source>&amp;Last page</source>
        <translation>&amp;Letzte Seite</translation>
    </message>
    <message>
        <source>&amp;Sheet</source>
        <translation>&amp;Bogen</translation>
    </message>
    <message>
        <source>&amp;Leave out picked pictures</source>
        <translation>Gewählte Bilder &amp;auslassen</translation>
    </message>
    <message>
        <source>&amp;Bring back all left-out pictures</source>
        <translation>Alle ausgelassenen Bilder &amp;zurückholen</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>&amp;Neu zeichnen</translation>
    </message>
    <message>
        <source>Select &amp;font…</source>
        <translation>&amp;Schriftart…</translation>
    </message>
    <message>
        <source>Page se&amp;tup…</source>
        <translation>Seiten&amp;format…</translation>
    </message>
    <message>
        <source>&amp;Options…</source>
        <translation>&amp;Optionen…</translation>
    </message>
    <message>
        <source>&amp;Layouts…</source>
        <translation>&amp;Vorlagen…</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Keyboard shortcuts</source>
        <translation>&amp;Tastenkürzel</translation>
    </message>
    <message>
        <source>&amp;About Tablora</source>
        <translation>Ü&amp;ber Tablora</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Save sheet as P&amp;DF…</source>
        <translation>Bogen als P&amp;DF speichern…</translation>
    </message>
    <message>
        <source>Print &amp;each folder to PDF…</source>
        <translation>&amp;Jeden Ordner als PDF drucken…</translation>
    </message>
</context>
<context>
    <name>tablora::T_Main</name>
    <message>
        <source>Archive Title (This will print at the top of each page)</source>
        <translation>Archivtitel (wird oben auf jede Seite gedruckt)</translation>
    </message>
    <message>
        <source>Select Font</source>
        <translation>Schriftart</translation>
    </message>
    <message>
        <source>&amp;Build</source>
        <translation>&amp;Erstellen</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>Dru&amp;cken</translation>
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
    <message>
        <source>Pictures that could not be read</source>
        <translation>Bilder, die nicht gelesen werden konnten</translation>
    </message>
    <message>
        <source>Picture</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Why</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>Problems (%1)</source>
        <translation>Probleme (%1)</translation>
    </message>
    <message>
        <source>Choose a folder of photographs, then Build</source>
        <translation>Einen Ordner mit Fotografien wählen, dann Erstellen</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>C&amp;hoose…</source>
        <translation>Aus&amp;wählen…</translation>
    </message>
    <message>
        <source>Choose folder…</source>
        <translation>Ordner wählen…</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Persönlicher Ordner</translation>
    </message>
    <message>
        <source>Pictures</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Computer</translation>
    </message>
    <message>
        <source>&amp;Rows</source>
        <translation>&amp;Zeilen</translation>
    </message>
    <message>
        <source>Colu&amp;mns</source>
        <translation>&amp;Spalten</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>&amp;Neu zeichnen</translation>
    </message>
    <message>
        <source>Draw the page again now</source>
        <translation>Die Seite jetzt neu zeichnen</translation>
    </message>
    <message>
        <source>Select &amp;Font</source>
        <translation>Sch&amp;rift</translation>
    </message>
    <message>
        <source>Page Se&amp;tup</source>
        <translation>Seiten&amp;format</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>First page (Home)</source>
        <translation>Erste Seite (Pos1)</translation>
    </message>
    <message>
        <source>Previous page (Page Up)</source>
        <translation>Vorige Seite (Bild auf)</translation>
    </message>
    <message>
        <source>Next page (Page Down)</source>
        <translation>Nächste Seite (Bild ab)</translation>
    </message>
    <message>
        <source>Last page (End)</source>
        <translation>Letzte Seite (Ende)</translation>
    </message>
    <message>
        <source>Choose folder</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Save page as</source>
        <translation>Seite speichern unter</translation>
    </message>
    <message>
        <source>PNG picture (*.png);;JPEG picture (*.jpg *.jpeg);;PDF file (*.pdf)</source>
        <translation>PNG-Bild (*.png);;JPEG-Bild (*.jpg *.jpeg);;PDF-Datei (*.pdf)</translation>
    </message>
    <message>
        <source>&amp;Open folder</source>
        <translation>Ordner ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Save sheet as PDF</source>
        <translation>Bogen als PDF speichern</translation>
    </message>
    <message>
        <source>PDF file (*.pdf)</source>
        <translation>PDF-Datei (*.pdf)</translation>
    </message>
    <message>
        <source>&amp;Write a manifest beside it (the same name, .csv)</source>
        <translation>Eine &amp;Bildliste daneben schreiben (gleicher Name, .csv)</translation>
    </message>
    <message>
        <source>Saved to %1 and %2</source>
        <translation>Gespeichert unter %1 und %2</translation>
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
        <source>RAW + JPEG:</source>
        <translation>RAW + JPEG:</translation>
    </message>
    <message>
        <source>Once, as the JPEG</source>
        <translation>Einmal, als JPEG</translation>
    </message>
    <message>
        <source>Both files</source>
        <translation>Beide Dateien</translation>
    </message>
    <message>
        <source>The RAW only</source>
        <translation>Nur das RAW</translation>
    </message>
    <message>
        <source>The JPEG only</source>
        <translation>Nur das JPEG</translation>
    </message>
    <message>
        <source>Files of one name in one folder that the camera wrote as RAW and JPEG (or HEIF)</source>
        <translation>Dateien gleichen Namens in einem Ordner, die die Kamera als RAW und JPEG (oder HEIF) schrieb</translation>
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
    <message>
        <source>&amp;Edit…</source>
        <translation>Ä&amp;ndern…</translation>
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
<context>
    <name>tablora::TemplateEditor</name>
    <message>
        <source>Layouts</source>
        <translation>Vorlagen</translation>
    </message>
    <message>
        <source>Logo</source>
        <translation>Logo</translation>
    </message>
    <message>
        <source>Pictures (%1)</source>
        <translation>Bilder (%1)</translation>
    </message>
    <message>
        <source>&amp;Layouts:</source>
        <translation>&amp;Vorlagen:</translation>
    </message>
    <message>
        <source>&amp;Save as…</source>
        <translation>&amp;Speichern unter…</translation>
    </message>
    <message>
        <source>&amp;Rename…</source>
        <translation>&amp;Umbenennen…</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Seite</translation>
    </message>
    <message>
        <source>Millimetres</source>
        <translation>Millimeter</translation>
    </message>
    <message>
        <source>Inches</source>
        <translation>Zoll</translation>
    </message>
    <message>
        <source>Points</source>
        <translation>Punkt</translation>
    </message>
    <message>
        <source>Lengths in:</source>
        <translation>Längen in:</translation>
    </message>
    <message>
        <source>Own margins (else a twentieth of the paper)</source>
        <translation>Eigene Ränder (sonst ein Zwanzigstel des Papiers)</translation>
    </message>
    <message>
        <source>Top:</source>
        <translation>Oben:</translation>
    </message>
    <message>
        <source>Bottom:</source>
        <translation>Unten:</translation>
    </message>
    <message>
        <source>Inside:</source>
        <translation>Innen:</translation>
    </message>
    <message>
        <source>Outside:</source>
        <translation>Außen:</translation>
    </message>
    <message>
        <source>Back&amp;ground…</source>
        <translation>&amp;Hintergrund…</translation>
    </message>
    <message>
        <source>Background:</source>
        <translation>Hintergrund:</translation>
    </message>
    <message>
        <source>Grid</source>
        <translation>Raster</translation>
    </message>
    <message>
        <source>Rows × columns:</source>
        <translation>Zeilen × Spalten:</translation>
    </message>
    <message>
        <source>Cells of a size (rows and columns follow)</source>
        <translation>Zellen fester Größe (Zeilen und Spalten folgen daraus)</translation>
    </message>
    <message>
        <source>Cell width × height:</source>
        <translation>Zellbreite × -höhe:</translation>
    </message>
    <message>
        <source>Own gutters between cells</source>
        <translation>Eigene Abstände zwischen den Zellen</translation>
    </message>
    <message>
        <source>Gutter across × down:</source>
        <translation>Abstand waagrecht × senkrecht:</translation>
    </message>
    <message>
        <source>Across, then down</source>
        <translation>Erst quer, dann abwärts</translation>
    </message>
    <message>
        <source>Down, then across</source>
        <translation>Erst abwärts, dann quer</translation>
    </message>
    <message>
        <source>Order:</source>
        <translation>Reihenfolge:</translation>
    </message>
    <message>
        <source>Folder headings</source>
        <translation>Ordnerüberschriften</translation>
    </message>
    <message>
        <source>New page for each folder</source>
        <translation>Neue Seite für jeden Ordner</translation>
    </message>
    <message>
        <source>Picture</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Fit: the whole picture</source>
        <translation>Einpassen: das ganze Bild</translation>
    </message>
    <message>
        <source>Fill: the cell covered, cropped</source>
        <translation>Füllen: die Zelle bedeckt, beschnitten</translation>
    </message>
    <message>
        <source>Rotate: turned to fill more of the cell</source>
        <translation>Drehen: gedreht, um mehr der Zelle zu füllen</translation>
    </message>
    <message>
        <source>In its cell:</source>
        <translation>In der Zelle:</translation>
    </message>
    <message>
        <source>Border width:</source>
        <translation>Rahmenbreite:</translation>
    </message>
    <message>
        <source>Border colo&amp;ur…</source>
        <translation>Rahmen&amp;farbe…</translation>
    </message>
    <message>
        <source>Border colour:</source>
        <translation>Rahmenfarbe:</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Caption lines: text with fields such as {name}, {date:%d.%m.%Y}, {exposure}, {camera}, {rating}; header and footer: {title}, {page}, {pages}, {date}, {folder}, {count}.</source>
        <translation>Bildunterschriften: Text mit Feldern wie {name}, {date:%d.%m.%Y}, {exposure}, {camera}, {rating}; Kopf- und Fußzeile: {title}, {page}, {pages}, {date}, {folder}, {count}.</translation>
    </message>
    <message>
        <source>&amp;Add line</source>
        <translation>Zeile hin&amp;zufügen</translation>
    </message>
    <message>
        <source>Own caption size (else a sixth of a row)</source>
        <translation>Eigene Schriftgröße (sonst ein Sechstel einer Zeile)</translation>
    </message>
    <message>
        <source>Caption size:</source>
        <translation>Schriftgröße:</translation>
    </message>
    <message>
        <source>Te&amp;xt colour…</source>
        <translation>Te&amp;xtfarbe…</translation>
    </message>
    <message>
        <source>Text colour:</source>
        <translation>Textfarbe:</translation>
    </message>
    <message>
        <source>Header and footer</source>
        <translation>Kopf- und Fußzeile</translation>
    </message>
    <message>
        <source>Own header (else the title and page number)</source>
        <translation>Eigene Kopfzeile (sonst Titel und Seitenzahl)</translation>
    </message>
    <message>
        <source>left</source>
        <translation>links</translation>
    </message>
    <message>
        <source>centre</source>
        <translation>Mitte</translation>
    </message>
    <message>
        <source>right</source>
        <translation>rechts</translation>
    </message>
    <message>
        <source>Header:</source>
        <translation>Kopfzeile:</translation>
    </message>
    <message>
        <source>Footer:</source>
        <translation>Fußzeile:</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keines</translation>
    </message>
    <message>
        <source>C&amp;hoose…</source>
        <translation>&amp;Auswählen…</translation>
    </message>
    <message>
        <source>Logo:</source>
        <translation>Logo:</translation>
    </message>
    <message>
        <source>Logo height:</source>
        <translation>Logohöhe:</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Links</translation>
    </message>
    <message>
        <source>Centre</source>
        <translation>Mitte</translation>
    </message>
    <message>
        <source>Right</source>
        <translation>Rechts</translation>
    </message>
    <message>
        <source>Size relative to the caption size</source>
        <translation>Größe im Verhältnis zur Schriftgröße</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Page %1 of %2</source>
        <translation>Seite %1 von %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a built-in layout; choose another name</source>
        <translation>„%1“ ist eine eingebaute Vorlage; bitte einen anderen Namen wählen</translation>
    </message>
    <message>
        <source>A layout named &quot;%1&quot; exists. Replace it?</source>
        <translation>Eine Vorlage „%1“ gibt es schon. Ersetzen?</translation>
    </message>
    <message>
        <source>Save the layout as:</source>
        <translation>Vorlage speichern unter:</translation>
    </message>
    <message>
        <source>New name of &quot;%1&quot;:</source>
        <translation>Neuer Name für „%1“:</translation>
    </message>
    <message>
        <source>Delete the layout &quot;%1&quot;?</source>
        <translation>Die Vorlage „%1“ löschen?</translation>
    </message>
</context>
</TS>
