// Library of GLSL 4.10 source fragments that a fragment shader can paste in
// front of its own text. Each text begins and ends with a newline.
#pragma once

#include <cstdint>
#include <map>
#include <string>

enum SnippetId : int32_t { RandomSnippet = 0, MapSnippet = 1, NoiseSnippet = 2 };

// The table of snippet texts by number, filled when the module is loaded.
const std::map<int32_t, std::string>& SnippetSources();

// The snippet text for a number, or null when there is none.
const char* FindSnippet(int32_t number);
