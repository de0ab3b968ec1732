#pragma once
// A caller's byte stream that a task reads its input from or writes its output to, in place of
// a file (AddTask/SetOutputStream with a stream). The task reads or writes it on its conversion
// thread; the caller keeps it alive until the task is cleared.

#include <cstdint>
#include <string>

class TEngineStream {
public:
    virtual ~TEngineStream() = default;
    // Bytes read (0 at the end), or negative on failure.
    virtual int Read(uint8_t* buffer, int size) = 0;
    // Bytes written, or negative on failure.
    virtual int Write(const uint8_t* buffer, int size) = 0;
    // New position (whence: SEEK_SET, SEEK_CUR, SEEK_END), or negative when the stream cannot
    // seek there.
    virtual int64_t Seek(int64_t offset, int whence) = 0;
    // Total size in bytes, or negative when unknown.
    virtual int64_t Size() = 0;
};

// The name a stream goes by: "stream:" + the stream's address in decimal + ":" + privateData.
std::string EngineStreamName(const TEngineStream* stream, const std::string& privateData);
