#pragma once
// Building a linear libavfilter chain: one filter after another.

#include <string>

struct AVFilterContext;
struct AVFilterGraph;

// Creates `filter` with `args` in the graph and links it after `last`. Returns the new last
// filter, or null with the library's error code in `ret`.
AVFilterContext* AppendFilter(AVFilterGraph* graph, AVFilterContext* last, const char* filter,
                              const std::string& args, int& ret);
