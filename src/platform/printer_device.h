#pragma once

#include <string>

#include "platform/drawing_surface.h"

namespace tablora {

// The selected printer: its printable page in device pixels and its print job.
class PrinterDevice {
 public:
  virtual ~PrinterDevice() = default;

  virtual int PageWidth() = 0;
  virtual int PageHeight() = 0;
  // The page surface; valid between BeginDoc and EndDoc/Abort, and for ClipRect before a job.
  virtual DrawingSurface& Canvas() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual std::string Title() const = 0;
  virtual void BeginDoc() = 0;
  virtual void NewPage() = 0;
  virtual void EndDoc() = 0;
  virtual void Abort() = 0;
};

}  // namespace tablora
