// Whole-file reading and writing between files and byte buffers. Failures go
// to the caller's log; nothing throws.
#pragma once

#include <cstdint>
#include <functional>

#include "tarvex/automation.h"
#include "platform/FileSystem.h"

namespace tarvex {

class ByteSink;
class DataBuffer;
class LogBase;
class XString;

bool loadFile(const char* pathUtf8, DataBuffer& out, LogBase* log);
bool loadFileWide(const OLECHAR* path, DataBuffer& out, LogBase* log);
// Creates or replaces the file with exactly these bytes. The old file is
// replaced only once every byte is safely written beside it.
bool writeFile(const char* pathUtf8, const void* data, uint32_t length, LogBase* log);
// writeFile with the bytes handed over in pieces: `produce` writes them to
// the sink and returns false when it cannot complete them. The old file is
// replaced only when every piece is safely written beside it.
bool writeFileStreamed(const char* pathUtf8, const std::function<bool(ByteSink&)>& produce, LogBase* log);
platform::FileHandle openForRead(XString& name, LogBase* log);
platform::FileHandle openForWrite(XString& name, LogBase* log);

}  // namespace tarvex
