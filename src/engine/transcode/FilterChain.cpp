#include "engine/transcode/FilterChain.h"

#include "engine/library/FFmpegApi.h"

AVFilterContext* AppendFilter(AVFilterGraph* graph, AVFilterContext* last, const char* filter,
                              const std::string& args, int& ret) {
    AVFilterContext* ctx = nullptr;
    ret = ff::avfilter_graph_create_filter(&ctx, ff::avfilter_get_by_name(filter), filter, args.c_str(),
                                           nullptr, graph);
    if (ret < 0) return nullptr;
    ret = ff::avfilter_link(last, 0, ctx, 0);
    return ret < 0 ? nullptr : ctx;
}
