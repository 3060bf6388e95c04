#pragma once
// The colours of a video output: a PQ or HLG source (10-bit BT.2020 from phones and cameras) going
// to an 8-bit profile is tone-mapped to BT.709 SDR, so it looks on an SDR screen as meant; every
// encoded picture says which colours it holds.
#include <functional>
#include <string>

#include "convert/StreamFit.h"
#include "engine/FFmpegOptions.h"

// Whether the installed filter library has a filter of that name.
using TFilterCheck = std::function<bool(const char *name)>;
bool InstalledFilter(const char *name);

// True for the PQ (SMPTE ST 2084) and HLG (ARIB STD-B67) transfers.
bool IsHdrTransfer(int transfer);

// Sets the record's tone mapping and colour marks for the source (encoded pictures only): HDR into
// 8 bits is tone-mapped and marked BT.709; HDR into a deeper format keeps its marks; SDR keeps the
// source's marks, BT.709 where it has none. A note for the file's result when the libraries cannot
// tone-map; empty otherwise.
std::string FillColour(TOutputOptions &out, const TSourceFacts &source, const TFilterCheck &hasFilter = InstalledFilter);
