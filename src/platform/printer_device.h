#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/drawing_surface.h"

namespace tablora {

// Called every few milliseconds while a device waits on the print server, with what it waits for
// ("Looking for printers...", "Sending to printer..."): it shows that, handles pending window
// messages and returns false once the user gives up waiting (Cancel).
using PrintWaitHandler = std::function<bool(const std::string& status)>;

// Where a device's page surface lies on its paper in a PDF file: the paper in points, and the
// surface's top-left corner in its own pixels from the paper's top-left corner.
struct PaperFrame {
  double widthPoints = 0;
  double heightPoints = 0;
  int32_t left = 0;
  int32_t top = 0;
  int32_t dpi = 0;
};

// The selected printer: its printable page in device pixels and its print job.
class PrinterDevice {
 public:
  virtual ~PrinterDevice() = default;

  virtual int PageWidth() = 0;
  virtual int PageHeight() = 0;
  // The page surface; valid between BeginDoc and EndDoc/Abort, and for ClipRect before a job.
  virtual DrawingSurface& Canvas() = 0;
  // Dots per inch of the page surface; 0 when the device does not tell.
  virtual int Resolution() { return 0; }
  // The frame of the pages of a PDF output; nothing for a device that does not make PDF files.
  virtual std::optional<PaperFrame> Frame() { return std::nullopt; }
  // The file the last finished job was saved in, for a print to file; empty otherwise.
  virtual std::string SavedFile() const { return {}; }
  virtual void SetTitle(const std::string& title) = 0;
  virtual std::string Title() const = 0;
  virtual void BeginDoc() = 0;
  virtual void NewPage() = 0;
  // Ends the job. A device that hands its jobs to a print server waits for the server here through
  // the wait handler; when the user gives up, the job is withdrawn and EAbort raised.
  virtual void EndDoc() = 0;
  virtual void Abort() = 0;

  // Devices that talk to a print server never wait on it without the handler; an empty handler
  // waits without asking anyone.
  virtual void SetWaitHandler(PrintWaitHandler handler) { (void)handler; }
  // Makes sure the printer list the print dialog will ask for can be had without hanging; false
  // when the user gave up waiting. Devices without a print server have nothing to look up.
  virtual bool LookUpPrinters() { return true; }
};

}  // namespace tablora
