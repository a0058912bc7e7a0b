// Why an image file the user chose cannot be sent (or its header shown), in
// the words both windows use: the Qt window and the Windows window refuse a
// file with the same message.
#pragma once

#include <string>

#include "images/image_file.h"

namespace zorvik::session {

// fileName as the user knows it (the platform's own separators).
std::string imageFileFailure(const std::string& fileName, const images::CheckedImageFile& checked);

}  // namespace zorvik::session
