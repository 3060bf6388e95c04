#include "edit/JpegWriter.h"

#include "engine/Bitmap.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs the stdio types declared first.
#include <jpeglib.h>

namespace {

// libjpeg's own error exit ends the process; ours jumps back to the encoder with the message.
struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
  auto *error = reinterpret_cast<TJpegError *>(info->err);
  info->err->format_message(info, error->Message);
  std::longjmp(error->Jump, 1);
}

// No C++ object with a destructor lives in this frame: longjmp would skip it.
bool Compress(const TBitmap &bitmap, int quality, unsigned char **buffer, unsigned long *size, TJpegError &error) {
  jpeg_compress_struct info;
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = ErrorExit;
  if (setjmp(error.Jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(bitmap.Width());
  info.image_height = static_cast<JDIMENSION>(bitmap.Height());
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.ScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

} // namespace

bool EncodeJpeg(const TBitmap &bitmap, int quality, std::vector<uint8_t> &bytes, std::string &error) {
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  TJpegError failure{};
  const bool ok = Compress(bitmap, quality, &buffer, &size, failure);
  if (ok)
    bytes.assign(buffer, buffer + size);
  else
    error = failure.Message;
  // The memory destination allocates with malloc and leaves the freeing to us, also after a failure.
  std::free(buffer);
  return ok;
}
