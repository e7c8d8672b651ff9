#include "log/Logger.h"

#include <cstdio>

#include "log/ErrorLog.h"
#include "log/LogEntry2.h"
#include "platform/Platform.h"
#include "file/FileAccess.h"
#include "text/StringBuffer.h"

namespace tarvex {

Logger::Logger() : log_(new ErrorLog()) {}

Logger::~Logger() { delete log_; }

void Logger::GetXml(StringBuffer& out) {
    out.clear();
    log_->getXml(out);
}

void Logger::GetHtml(StringBuffer& out) {
    out.clear();
    log_->getHtml(out);
}

void Logger::GetText(StringBuffer& out) {
    out.clear();
    log_->getText(out);
}

bool Logger::LogError(const char* message) {
    log_->addMessage(LogEntry2::kError, message);
    return true;
}

bool Logger::LogInfo(const char* message) {
    log_->addMessage(LogEntry2::kInfo, message);
    return true;
}

bool Logger::LogRawXml(const char* line) {
    log_->addMessage(LogEntry2::kRawLine, line);
    return true;
}

bool Logger::ClearLog() {
    log_->clear();
    return true;
}

bool Logger::EnterContext(const char* name, int32_t /*flag*/) {
    log_->enterContext(name);
    return true;
}

bool Logger::LeaveContext() {
    log_->leaveContext();
    return true;
}

bool Logger::LogData(const char* name, const char* value) { return log_->addNameValue(name, value); }

bool Logger::LogDataLong(const char* name, int32_t value) { return log_->addNameValue(name, intToText(value)); }

void Logger::LogTickCount(const char* name) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(platform::tickCount()));
    log_->addNameValue(name, text);
}

bool Logger::SaveXmlToFile(int32_t /*reserved*/, const char* path) {
    if (!path) return false;
    StringBuffer xml;
    GetXml(xml);
    return writeFile(path, xml.getString(), static_cast<uint32_t>(xml.getSize()), nullptr);
}

}  // namespace tarvex
