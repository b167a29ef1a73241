// How files store samples (libsndfile's SF_FORMAT_* subtypes), the
// containers amix writes, and the encoding an output gets in its container.
#pragma once

#include <string>

namespace amix {

// An output container, named by --type or by OUT's extension.
struct Container {
  const char* name;   // "wav", as given to --type
  const char* title;  // "WAV", for messages
  int sf_major;       // SF_FORMAT_WAV, ...
  bool streams;       // can be written to a pipe as it goes
};

// By --type name or extension (any case): wav w64 flac aiff aif caf au;
// nullptr for others.
const Container* container_by_name(const std::string& name);
// "wav, w64, flac, aiff, aif, caf or au" (`streaming_only`: those that can
// go to a pipe).
std::string container_names(bool streaming_only = false);
// The libsndfile major format for `channels`: WAV files of more than two
// channels are WAVE_FORMAT_EXTENSIBLE, to carry their channel map.
int sf_major_for(const Container& container, int channels);

// The library sample format an encoding travels as: 8-bit -> U8, 16-bit and
// the codecs -> S16, 24/32-bit -> S32, float/double -> FLOAT.  Lossy codecs
// decode to FLOAT.
int pcm_format_of(int sf_subtype);

// The plain encoding of a library sample format: U8 -> 8-bit (PCM_S8, for
// chosen_encoding to pick the signedness), S16 -> 16-bit, S32 -> 32-bit,
// FLOAT -> float.
int plain_encoding(int pcm_format);

// Whether an encoding is plain PCM or float (not a codec).
bool is_plain(int sf_subtype);

// Whether `container` holds `sf_subtype` with `channels` channels.
bool container_holds(const Container& container, int channels, int sf_subtype);

// The encoding an output of `channels` channels gets in `container`.
struct EncodingChoice {
  int sf_subtype;
  std::string note;  // why it differs from the input's, or empty
};
// For --bits: exactly that sample width (8-bit in the signedness the
// container takes).  Throws Error naming what the container holds when it
// holds no such samples.
EncodingChoice chosen_encoding(const Container& container, int channels, int bits_subtype);
// Without --bits: the input's own encoding when it is plain PCM or float the
// container holds; else the nearest the container holds (float in FLAC:
// 24-bit); compressed encodings (MP3, Vorbis, ADPCM, ...) as 16-bit.
EncodingChoice nearest_encoding(const Container& container, int channels, int input_subtype);

}  // namespace amix
