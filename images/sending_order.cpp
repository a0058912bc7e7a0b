#include "images/sending_order.h"

#include "images/protocol.h"

namespace zorvik::images {

LineRole lineRole(const RecordBytes& record) {
  if (record[kRecCount] != protocol::kLineBytes || record[kRecType] != protocol::kRecordTypeData) {
    return LineRole::Skipped;
  }
  if (record[kRecAddrHigh] == protocol::kVectorTableAddressHigh &&
      record[kRecAddrLow] == protocol::kVectorTableAddressLow) {
    return LineRole::VectorTable;
  }
  return LineRole::Data;
}

std::vector<std::string_view> sendingOrder(const ImageSource& images, int image) {
  std::vector<std::string_view> sent;
  std::vector<std::string_view> held;
  RecordBytes record{};
  const int last = images.lastLine(image);
  for (int j = 0; j < last; ++j) {
    const std::string_view line = images.line(image, j);
    if (!decodeRecord(line, record)) break;
    const LineRole role = lineRole(record);
    if (role == LineRole::Data) sent.push_back(line);
    if (role == LineRole::VectorTable) held.push_back(line);
  }
  sent.insert(sent.end(), held.begin(), held.end());
  return sent;
}

}  // namespace zorvik::images
