// Speaker layouts: the names the tool accepts, the library's codes, channel
// counts, and the mapping to and from libsndfile's channel maps.
#pragma once

#include <string>
#include <vector>

#include "amix/base/types.h"

namespace amix {

// Every layout the library knows, in the order of its codes.
const std::vector<Layout>& all_layouts();

// By --layout name; throws UsageError listing the names for an unknown one.
const Layout& layout_by_name(const std::string& option, const std::string& name);

// The layout a file without a channel map is taken to have: 1 mono,
// 2 stereo, 3 3.0, 4 quad, 5 4.1, 6 5.1-back (the classic WAV 5.1), 8 7.1.
// nullptr for other counts.
const Layout* layout_for_channels(int channels);

// The layout whose channels are exactly `sf_map` (libsndfile
// SF_CHANNEL_MAP_* positions, in file order); nullptr when none is.
const Layout* layout_for_channel_map(const std::vector<int>& sf_map);

// libsndfile's channel map for a layout, for files that can store one.
std::vector<int> channel_map_for(const Layout& layout);

// "FL FR BC" style names of a libsndfile map, for messages.
std::string describe_channel_map(const std::vector<int>& sf_map);

}  // namespace amix
