#include "convert/ColourMarks.h"

#include "media/AVFilterStubs.h"
#include "media/AVUtilStubs.h"

namespace {

// Linear light with HDR's reference white (203 nits) as SDR white, tone-mapped from a peak of 1000
// nits (what phones master to): mobius leaves what an SDR screen can show as it is and bends only
// the highlights.
std::string ToneMapChain(int transfer) {
  const char *in = transfer == AVCOL_TRC_SMPTE2084 ? "smpte2084" : "arib-std-b67";
  return std::string("zscale=tin=") + in +
         ":pin=bt2020:min=bt2020nc:rin=tv:t=linear:npl=203,format=gbrpf32le,zscale=p=bt709,"
         "tonemap=tonemap=mobius:param=0.3:desat=0:peak=4.9,zscale=t=bt709:m=bt709:r=tv,format=yuv420p";
}

std::string MarkLines(int primaries, int transfer, int space) {
  return "color_primaries=" + std::to_string(primaries) + "\ncolor_trc=" + std::to_string(transfer) +
         "\ncolorspace=" + std::to_string(space) + "\n";
}

bool EightBit(const std::string &pixelFormat) {
  const AVPixFmtDescriptor *desc = pixelFormat.empty() ? nullptr : AVUtil.av_pix_fmt_desc_get(AVUtil.av_get_pix_fmt(pixelFormat.c_str()));
  return !desc || desc->comp[0].depth <= 8;
}

} // namespace

bool InstalledFilter(const char *name) { return AVFilterLib.avfilter_get_by_name(name) != nullptr; }

bool IsHdrTransfer(int transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

std::string FillColour(TOutputOptions &out, const TSourceFacts &source, const TFilterCheck &hasFilter) {
  if (out.DisableVideo || out.VideoCodec.empty() || out.VideoCodec == "copy" || source.VideoCodec == 0)
    return "";
  if (!IsHdrTransfer(source.ColorTransfer)) {
    const bool marked = source.ColorPrimaries != AVCOL_PRI_UNSPECIFIED && source.ColorTransfer != AVCOL_TRC_UNSPECIFIED &&
                        source.ColorSpace != AVCOL_SPC_UNSPECIFIED;
    out.ExtOptions += marked ? MarkLines(source.ColorPrimaries, source.ColorTransfer, source.ColorSpace)
                             : MarkLines(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
    return "";
  }
  if (!EightBit(out.PixelFormat)) {
    out.ExtOptions += MarkLines(AVCOL_PRI_BT2020, source.ColorTransfer, AVCOL_SPC_BT2020_NCL);
    return "";
  }
  if (!hasFilter("zscale") || !hasFilter("tonemap"))
    return "The HDR picture was not tone-mapped: the installed filter library lacks zscale or tonemap.";
  out.VideoFilters = out.VideoFilters.empty() ? ToneMapChain(source.ColorTransfer)
                                              : out.VideoFilters + "," + ToneMapChain(source.ColorTransfer);
  out.ExtOptions += MarkLines(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
  return "";
}
