#pragma once

#include <QString>

class QPrinter;

namespace tablora {

class CanvasFactory;
class MessageBox;
class TContactSheet;

// Resolution of a page saved as a picture: enough for a print from the picture, small enough to
// mail.
constexpr int kSavedPageDpi = 300;

// Saves page `page` of the sheet, as it prints, to `path`: a PDF file on the paper of `layoutFrom`
// (null: the sheet's own printer's), or a PNG or JPEG picture at kSavedPageDpi; the kind follows
// the name's ending. The sheet's preview state is left for the caller to draw again. Throws an
// Exception with a message naming the file when it cannot be written.
void SavePage(TContactSheet& sheet, int page, const QString& path, CanvasFactory& canvases,
              const QPrinter* layoutFrom, MessageBox& messages);

}  // namespace tablora
