#include "engine/library/FFmpegErrors.h"

#include <cerrno>
#include <cstdio>

extern "C" {
#include <libavutil/error.h>
}

std::string FFmpegErrorText(int code) {
    switch (code) {
        case AVERROR(ENOENT):
            return "No such file or directory";
        case AVERROR(EIO):
            return "I/O error";
        case AVERROR(ENOMEM):
            return "Not enough memory";
        case AVERROR_INVALIDDATA:
        case AVERROR(EINVAL):
            return "Invalid data found when processing input";
        case AVERROR_EOF:
        case AVERROR(EPIPE):
            return "End of file";
        case AVERROR(EDOM):
            return "Number syntax expected in filename";
        case AVERROR(ENOSYS):
            return "Operation not supported";
        case AVERROR_DEMUXER_NOT_FOUND:
        case AVERROR(EILSEQ):
            return "Unknown format";
        case AVERROR_PROTOCOL_NOT_FOUND:
            return "Unsupported network protocol";
        case AVERROR_PATCHWELCOME:
            return "Not yet implemented in FFmpeg";
        // Two everyday file failures that deserve words rather than a number.
        case AVERROR(EISDIR):
            return "Is a directory";
        case AVERROR(EACCES):
            return "Permission denied";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "Error number %d occurred", code);
            return text;
        }
    }
}
