#include "imaging/bitmap.h"
#include "imaging/exceptions.h"

namespace tablora {

void TBitmap::LoadFromStream(TStream&) { throw EInvalidGraphic("Bitmap image is not valid"); }

}  // namespace tablora
