#pragma once
// An audio file's cover for Ogg and Opus files, whose container holds no picture stream: the
// comment METADATA_BLOCK_PICTURE, a FLAC picture block in Base64, as players read it there.
#include <string>

struct AVStream;

// The comment's value for the attached picture stream; "" when it holds no picture or one too big
// for a comment.
std::string PictureComment(const AVStream *cover);

std::string Base64(const std::string &bytes);
