// Which record lines of an image programming sends, and in which order: the
// full data lines in image order, those of the vector table held back to the
// end (a reset halfway through must not find a vector table pointing into
// code that has not been written yet). Programming and whoever keeps a record
// of what was sent (a digest of the image as sent) use the same rule.
#pragma once

#include <string_view>
#include <vector>

#include "images/catalogue.h"
#include "images/record_codec.h"

namespace zorvik::images {

enum class LineRole { Skipped, Data, VectorTable };

// The role of a decoded record line.
LineRole lineRole(const RecordBytes& record);

// The lines of `image` programming sends, in sending order. Stops at the
// first line that does not decode (programming stops there too) and leaves
// out the end line.
std::vector<std::string_view> sendingOrder(const ImageSource& images, int image);

}  // namespace zorvik::images
