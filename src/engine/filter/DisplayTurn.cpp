#include "engine/filter/DisplayTurn.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "media/AVFormatStubs.h"

TDisplayTurn DisplayTurnOf(const AVStream *stream) {
  TDisplayTurn turn;
  size_t size = 0;
  const auto *matrix = reinterpret_cast<const int32_t *>(
      AVFormat.av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size));
  if (!matrix || size < 9 * sizeof(int32_t))
    return turn;
  // A point (x, y) of the stored picture is shown at (a x + c y, b x + d y), y pointing down;
  // angles between the quarter turns go to the nearest one.
  const double a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
  if (std::fabs(a) + std::fabs(d) >= std::fabs(b) + std::fabs(c)) {
    if (a < 0 && d < 0)
      turn.Filters = "hflip,vflip";
    else if (a < 0)
      turn.Filters = "hflip";
    else if (d < 0)
      turn.Filters = "vflip";
    return turn;
  }
  turn.SwapsSides = true;
  if (b > 0 && c < 0)
    turn.Filters = "transpose=clock";
  else if (b < 0 && c > 0)
    turn.Filters = "transpose=cclock";
  else if (b > 0)
    turn.Filters = "transpose=cclock_flip";
  else
    turn.Filters = "transpose=clock_flip";
  return turn;
}

bool CopyDisplayMatrix(const AVStream *from, AVStream *to) {
  size_t size = 0;
  const uint8_t *matrix = AVFormat.av_stream_get_side_data(from, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!matrix)
    return true;
  uint8_t *copy = AVFormat.av_stream_new_side_data(to, AV_PKT_DATA_DISPLAYMATRIX, size);
  if (!copy)
    return false;
  std::memcpy(copy, matrix, size);
  return true;
}
