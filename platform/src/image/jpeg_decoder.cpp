// JPEG through libjpeg-turbo: the best-kept and fastest JPEG decoder there is, and it can decode
// at 1/8 to 8/8 of the picture's size, which makes thumbnails of camera photos cheap. Errors
// come back through longjmp to the one frame that set the jump, which holds only plain data.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "image/picture_decoders.h"

namespace plat::image {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

struct Progress {
  jpeg_progress_mgr pub;
  const LoadBudget* budget;
};

// Progressive files may hold any number of scans, each a pass over the whole picture.
constexpr int kMaxScans = 256;

[[noreturn]] void fail(j_common_ptr c, const char* why) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  std::snprintf(e->message, sizeof e->message, "%s", why);
  std::longjmp(e->jump, 1);
}

[[noreturn]] void onError(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

void onMessage(j_common_ptr, int) {}  // warnings (damaged data, padding) are not errors

void onProgress(j_common_ptr c) {
  auto* p = reinterpret_cast<Progress*>(c->progress);
  if (p->budget->expired()) fail(c, "decoding takes longer than the time budget");
  if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans)
    fail(c, "too many scans");
}

void prepare(jpeg_decompress_struct& cinfo, ErrorManager& err, Progress& progress, const LoadBudget& budget) {
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = onMessage;
  err.message[0] = 0;
  progress.pub.progress_monitor = onProgress;
  progress.budget = &budget;
}

// Working memory the library takes for a progressive (multi-scan) file: every coefficient of
// the picture, 2 bytes each, at full size whatever the output scale.
size_t coefficientBytes(const jpeg_decompress_struct& cinfo) {
  size_t total = 0;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& c = cinfo.comp_info[i];
    total += size_t(c.width_in_blocks + 1) * size_t(c.height_in_blocks + 1) * DCTSIZE2 * sizeof(JCOEF);
  }
  return total;
}

}  // namespace

int jpegSmallestSide(int side) { return (side + 7) / 8; }

bool jpegExifThumbnail(const uint8_t* data, size_t size, const uint8_t*& thumb, size_t& thumbSize) {
  // The markers before the first scan; the Exif block is an APP1 segment among them.
  size_t at = 2;
  while (at + 4 <= size && data[at] == 0xFF) {
    const uint8_t marker = data[at + 1];
    if (marker == 0xDA || marker == 0xD9) break;
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const size_t length = (size_t(data[at + 2]) << 8) | data[at + 3];
    if (length < 2 || at + 2 + length > size) break;
    if (marker == 0xE1 && length >= 16 && std::memcmp(data + at + 4, "Exif\0\0", 6) == 0) {
      const uint8_t* tiff = data + at + 10;
      const size_t n = length - 8;
      const bool little = tiff[0] == 'I' && tiff[1] == 'I';
      if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return false;
      auto u16 = [&](size_t o) -> uint32_t {
        return little ? tiff[o] | (tiff[o + 1] << 8) : (tiff[o] << 8) | tiff[o + 1];
      };
      auto u32 = [&](size_t o) -> uint32_t {
        return little ? u16(o) | (u16(o + 2) << 16) : (u16(o) << 16) | u16(o + 2);
      };
      // IFD0, then the next IFD (IFD1), which describes the thumbnail.
      size_t ifd = u32(4);
      if (ifd + 2 > n) return false;
      size_t entries = u16(ifd);
      if (ifd + 2 + entries * 12 + 4 > n) return false;
      ifd = u32(ifd + 2 + entries * 12);
      if (ifd == 0 || ifd + 2 > n) return false;
      entries = u16(ifd);
      if (ifd + 2 + entries * 12 > n) return false;
      size_t offset = 0, bytes = 0;
      for (size_t e = 0; e < entries; ++e) {
        const size_t en = ifd + 2 + e * 12;
        if (u16(en) == 0x0201) offset = u32(en + 8);
        if (u16(en) == 0x0202) bytes = u32(en + 8);
      }
      if (!offset || bytes < 4 || offset > n || bytes > n - offset) return false;
      if (tiff[offset] != 0xFF || tiff[offset + 1] != 0xD8) return false;
      thumb = tiff + offset;
      thumbSize = bytes;
      return true;
    }
    at += 2 + length;
  }
  return false;
}

namespace {

// A JPEG file starts with its start-of-image marker; anything else is refused before the
// library sees it.
bool startsAsJpeg(const uint8_t* data, size_t size, std::string& why) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
    why = "not a JPEG file";
    return false;
  }
  return true;
}

// Opens the decompressor on the bytes and reads the header. Called after the caller's setjmp:
// a damaged header jumps back there.
void readHeader(jpeg_decompress_struct& cinfo, Progress& progress, const uint8_t* data, size_t size) {
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &progress.pub;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
}

}  // namespace

bool jpegSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  if (!startsAsJpeg(data, size, why)) return false;
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  Progress progress;
  LoadBudget budget;
  prepare(cinfo, err, progress, budget);
  if (setjmp(err.jump)) {
    why = err.message;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  readHeader(cinfo, progress, data, size);
  width = static_cast<int>(cinfo.image_width);
  height = static_cast<int>(cinfo.image_height);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool decodeJpeg(const uint8_t* data, size_t size, int coverWidth, int coverHeight, LoadBudget& budget, Raster& out,
                std::string& why) {
  if (!startsAsJpeg(data, size, why)) return false;
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  Progress progress;
  prepare(cinfo, err, progress, budget);
  // Only plain data changes between setjmp and a jump back; the buffers live in `out` and
  // `cmyk`, which are declared outside this frame or before the jump is set.
  std::vector<uint8_t> cmyk;
  volatile size_t taken = 0;
  if (setjmp(err.jump)) {
    why = err.message;
    jpeg_destroy_decompress(&cinfo);
    budget.give(taken);
    out = Raster{};
    return false;
  }
  readHeader(cinfo, progress, data, size);
  const int W = static_cast<int>(cinfo.image_width), H = static_cast<int>(cinfo.image_height);
  // The smallest scale n/8 that still covers the asked size.
  int num = 8;
  if (coverWidth > 0 && coverHeight > 0) {
    for (num = 1; num < 8; ++num)
      if ((int64_t(W) * num + 7) / 8 >= coverWidth && (int64_t(H) * num + 7) / 8 >= coverHeight) break;
  }
  cinfo.scale_num = static_cast<unsigned>(num);
  cinfo.scale_denom = 8;
  if (num < 8) {
    // A reduced picture is scaled again into its cell: the cheaper chroma upsampling and the
    // fast integer transform cost nothing visible there.
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.dct_method = JDCT_IFAST;
  }
  const bool fourChannels = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = fourChannels ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_calc_output_dimensions(&cinfo);
  const int ow = static_cast<int>(cinfo.output_width), oh = static_cast<int>(cinfo.output_height);
  const size_t work = (cinfo.progressive_mode ? coefficientBytes(cinfo) : 0) + size_t(ow) * 4 * 16;
  if (!budget.takePixels(ow, oh)) fail(reinterpret_cast<j_common_ptr>(&cinfo), "picture beyond the memory budget");
  taken = size_t(ow) * oh * 4;
  if (!budget.take(work)) fail(reinterpret_cast<j_common_ptr>(&cinfo), "decoder memory beyond the budget");
  taken = taken + work;
  // Whatever the library would take beyond our estimate fails instead of growing.
  cinfo.mem->max_memory_to_use = static_cast<long>(work + budget.left());
  jpeg_start_decompress(&cinfo);
  out.width = ow;
  out.height = oh;
  out.pixels.assign(size_t(ow) * oh, 0xFF000000u);
  if (fourChannels) cmyk.resize(size_t(ow) * 4);
  const bool inverted = cinfo.saw_Adobe_marker;  // Adobe writes CMYK inverted
  while (cinfo.output_scanline < cinfo.output_height) {
    uint32_t* row = &out.pixels[size_t(cinfo.output_scanline) * ow];
    JSAMPROW target = fourChannels ? cmyk.data() : reinterpret_cast<JSAMPROW>(row);
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) break;
    if (fourChannels) {
      for (int x = 0; x < ow; ++x) {
        const uint8_t* p = &cmyk[size_t(x) * 4];
        uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        row[x] = 0xFF000000u | ((c * k + 127) / 255) << 16 | ((m * k + 127) / 255) << 8 | ((y * k + 127) / 255);
      }
    }
    if ((cinfo.output_scanline & 63) == 0 && budget.expired())
      fail(reinterpret_cast<j_common_ptr>(&cinfo), "decoding takes longer than the time budget");
  }
  jpeg_abort_decompress(&cinfo);  // a damaged tail after the last row is not our concern
  jpeg_destroy_decompress(&cinfo);
  budget.give(work);
  return true;
}

}  // namespace plat::image
