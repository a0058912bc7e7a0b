#include "session/image_file_failure.h"

namespace zorvik::session {

std::string imageFileFailure(const std::string& fileName, const images::CheckedImageFile& checked) {
  std::string why;
  if (checked.load == images::ImageLoadResult::TooLarge) why = "is too large for an image";
  else if (checked.load == images::ImageLoadResult::BadHeader) why = "has no valid image header";
  else if (checked.load != images::ImageLoadResult::Loaded) why = "cannot be read";
  else if (checked.lines.result == images::ImageLinesCheck::NoEndLine) why = "does not end with the end record :00000001FF";
  else if (checked.lines.result == images::ImageLinesCheck::NoDataLines) why = "holds no data line to program";
  else why = "has a damaged record in line " + std::to_string(checked.lines.line);
  return "Aborted because image file \"" + fileName + "\" " + why + "!";
}

}  // namespace zorvik::session
