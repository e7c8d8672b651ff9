// LogBase: the call-log interface every routine that can fail writes into.
// The operations are virtual in this order; the base does nothing (flag
// results are true). LogNull is the log for callers who want nothing kept.
#pragma once

#include <cstdint>

namespace tarvex {

class StringBuffer;

class LogBase {
public:
    virtual ~LogBase();
    virtual void GetXml(StringBuffer& out);
    virtual void GetHtml(StringBuffer& out);
    virtual void GetText(StringBuffer& out);
    virtual bool LogError(const char* message);
    virtual bool LogInfo(const char* message);
    virtual bool LogRawXml(const char* line);
    virtual bool ClearLog();
    virtual bool EnterContext(const char* name, int32_t flag);
    virtual bool LeaveContext();
    virtual bool LogData(const char* name, const char* value);
    virtual bool LogDataLong(const char* name, int32_t value);
    virtual void LogTickCount(const char* name);
    virtual bool SaveXmlToFile(int32_t reserved, const char* path);
};

class LogNull : public LogBase {
public:
    ~LogNull() override;
};

// Enters a context on construction and leaves it on every return path.
class LogContext {
public:
    LogContext(LogBase& log, const char* name) : log_(log) { log_.EnterContext(name, 1); }
    ~LogContext() { log_.LeaveContext(); }
    LogContext(const LogContext&) = delete;
    LogContext& operator=(const LogContext&) = delete;

private:
    LogBase& log_;
};

}  // namespace tarvex
