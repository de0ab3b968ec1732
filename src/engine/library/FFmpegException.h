#pragma once
// The transcoding core's one error type. Raised inside the core (option dispatcher, opening
// files, run set-up and the conversion loop) with the exact message the user sees; the task
// component catches it and turns it into LastErrMsg or the task's termination record. It never
// leaves the component.

#include <stdexcept>
#include <string>

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};
