// Logger: the call log each component object owns. A tree of contexts and
// entries under the root context "OstrandLog", rendered as text, HTML or XML.
// Texts are kept as UTF-8.
#pragma once

#include "base/LogBase.h"

namespace tarvex {

class ErrorLog;

class Logger : public LogBase {
public:
    Logger();
    ~Logger() override;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void GetXml(StringBuffer& out) override;
    void GetHtml(StringBuffer& out) override;
    void GetText(StringBuffer& out) override;
    bool LogError(const char* message) override;
    bool LogInfo(const char* message) override;
    bool LogRawXml(const char* line) override;
    bool ClearLog() override;
    bool EnterContext(const char* name, int32_t flag) override;
    bool LeaveContext() override;
    bool LogData(const char* name, const char* value) override;
    bool LogDataLong(const char* name, int32_t value) override;
    void LogTickCount(const char* name) override;
    bool SaveXmlToFile(int32_t reserved, const char* path) override;

private:
    ErrorLog* log_;
};

}  // namespace tarvex
