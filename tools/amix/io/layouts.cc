#include "amix/io/layouts.h"

#include <sndfile.h>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"

namespace amix {
namespace {

// WAVE_FORMAT_EXTENSIBLE bits, which are also the resampling engine's
// channel bits and give the library's channel order.
constexpr uint32_t FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20,
                   FLC = 0x40, FRC = 0x80, BC = 0x100, SL = 0x200, SR = 0x400;

struct Position {
  int sf;  // SF_CHANNEL_MAP_*
  uint32_t bit;
  const char* name;
};

// Speaker positions libsndfile reports and the bit each stands for.  Its
// WAV code names the three front speakers LEFT, RIGHT and CENTER (and
// accepts only those names when writing); the FRONT_* names and "mono" mean
// the same speakers.  The first entry of a bit is the one written.
const Position kPositions[] = {
    {SF_CHANNEL_MAP_LEFT, FL, "FL"},
    {SF_CHANNEL_MAP_FRONT_LEFT, FL, "FL"},
    {SF_CHANNEL_MAP_RIGHT, FR, "FR"},
    {SF_CHANNEL_MAP_FRONT_RIGHT, FR, "FR"},
    {SF_CHANNEL_MAP_CENTER, FC, "FC"},
    {SF_CHANNEL_MAP_FRONT_CENTER, FC, "FC"},
    {SF_CHANNEL_MAP_MONO, FC, "FC"},
    {SF_CHANNEL_MAP_LFE, LFE, "LFE"},
    {SF_CHANNEL_MAP_REAR_LEFT, BL, "BL"},
    {SF_CHANNEL_MAP_REAR_RIGHT, BR, "BR"},
    {SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER, FLC, "FLC"},
    {SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER, FRC, "FRC"},
    {SF_CHANNEL_MAP_REAR_CENTER, BC, "BC"},
    {SF_CHANNEL_MAP_SIDE_LEFT, SL, "SL"},
    {SF_CHANNEL_MAP_SIDE_RIGHT, SR, "SR"},
};

const Position* position_of(int sf) {
  for (const Position& p : kPositions)
    if (p.sf == sf) return &p;
  return nullptr;
}

}  // namespace

const std::vector<Layout>& all_layouts() {
  static const std::vector<Layout> layouts = {
      {PCM_SPEAKERS_MONO, "mono", 1, FC, "FC"},
      {PCM_SPEAKERS_STEREO, "stereo", 2, FL | FR, "FL FR"},
      {PCM_SPEAKERS_2_1, "2.1", 3, FL | FR | BC, "FL FR BC"},
      {PCM_SPEAKERS_QUAD, "quad", 4, FL | FR | BL | BR, "FL FR BL BR"},
      {PCM_SPEAKERS_4_1, "4.1", 5, FL | FR | FC | LFE | BC, "FL FR FC LFE BC"},
      {PCM_SPEAKERS_5_1, "5.1", 6, FL | FR | FC | LFE | SL | SR, "FL FR FC LFE SL SR"},
      {PCM_SPEAKERS_5_1_BACK, "5.1-back", 6, FL | FR | FC | LFE | BL | BR,
       "FL FR FC LFE BL BR"},
      {PCM_SPEAKERS_7_1, "7.1", 8, FL | FR | FC | LFE | BL | BR | SL | SR,
       "FL FR FC LFE BL BR SL SR"},
      {PCM_SPEAKERS_7_1_WIDE_BACK, "7.1-wide", 8, FL | FR | FC | LFE | BL | BR | FLC | FRC,
       "FL FR FC LFE BL BR FLC FRC"},
      {PCM_SPEAKERS_SURROUND, "3.0", 3, FL | FR | FC, "FL FR FC"},
  };
  return layouts;
}

const Layout& layout_by_name(const std::string& option, const std::string& name) {
  std::string names;
  for (const Layout& l : all_layouts()) {
    if (name == l.name) return l;
    names += names.empty() ? "" : "|";
    names += l.name;
  }
  throw UsageError(option + ": expected " + names + ", got '" + name + "'");
}

const Layout* layout_for_channels(int channels) {
  int code = 0;
  switch (channels) {
    case 1: code = PCM_SPEAKERS_MONO; break;
    case 2: code = PCM_SPEAKERS_STEREO; break;
    case 3: code = PCM_SPEAKERS_SURROUND; break;
    case 4: code = PCM_SPEAKERS_QUAD; break;
    case 5: code = PCM_SPEAKERS_4_1; break;
    case 6: code = PCM_SPEAKERS_5_1_BACK; break;
    case 8: code = PCM_SPEAKERS_7_1; break;
    default: return nullptr;
  }
  for (const Layout& l : all_layouts())
    if (l.code == code) return &l;
  return nullptr;
}

const Layout* layout_for_channel_map(const std::vector<int>& sf_map) {
  // The channels must come in the library's order, which is ascending bit
  // order; a reordered map would need a shuffle the library does not do.
  uint32_t mask = 0;
  for (int sf : sf_map) {
    const Position* p = position_of(sf);
    if (p == nullptr || p->bit <= mask) return nullptr;  // unknown, repeated or out of order
    mask |= p->bit;
  }
  for (const Layout& l : all_layouts())
    if (l.mask == mask && l.channels == static_cast<int>(sf_map.size())) return &l;
  return nullptr;
}

std::vector<int> channel_map_for(const Layout& layout) {
  std::vector<int> map;
  for (uint32_t bit = 1; bit <= SR; bit <<= 1) {
    if ((layout.mask & bit) == 0) continue;
    for (const Position& p : kPositions) {
      if (p.bit == bit) {
        map.push_back(p.sf);
        break;
      }
    }
  }
  return map;
}

std::string describe_channel_map(const std::vector<int>& sf_map) {
  std::string out;
  for (int sf : sf_map) {
    const Position* p = position_of(sf);
    out += out.empty() ? "" : " ";
    out += p != nullptr ? p->name : "?";
  }
  return out;
}

}  // namespace amix
