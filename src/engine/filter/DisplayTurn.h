#pragma once
// The turn a video stream asks for on display (phones store pictures sideways and say so in a
// display matrix): the filters that make its pictures upright.
#include <string>

struct AVStream;

struct TDisplayTurn {
  std::string Filters; // filter graph description; empty when the pictures are upright already
  bool SwapsSides = false; // width and height change places
};

TDisplayTurn DisplayTurnOf(const AVStream *stream);

// A copied stream is shown as its source was: the display matrix goes with it. False when it could
// not be stored.
bool CopyDisplayMatrix(const AVStream *from, AVStream *to);
