#include "base/LogBase.h"

namespace tarvex {

LogBase::~LogBase() = default;
void LogBase::GetXml(StringBuffer&) {}
void LogBase::GetHtml(StringBuffer&) {}
void LogBase::GetText(StringBuffer&) {}
bool LogBase::LogError(const char*) { return true; }
bool LogBase::LogInfo(const char*) { return true; }
bool LogBase::LogRawXml(const char*) { return true; }
bool LogBase::ClearLog() { return true; }
bool LogBase::EnterContext(const char*, int32_t) { return true; }
bool LogBase::LeaveContext() { return true; }
bool LogBase::LogData(const char*, const char*) { return true; }
bool LogBase::LogDataLong(const char*, int32_t) { return true; }
void LogBase::LogTickCount(const char*) {}
bool LogBase::SaveXmlToFile(int32_t, const char*) { return true; }

LogNull::~LogNull() = default;

}  // namespace tarvex
