// The program trace "debug.txt" in the program folder, on when the profile's
// Pellard/Debug is non-zero. Each line is appended with its own open and
// close, so the trace is complete on disk whatever happens to the program.
#pragma once

#include <ctime>
#include <string>

extern int gv_bDebug;
extern std::string gv_strDebugFile;
extern int gv_bDebugRaw;

// Reads the switch and starts a new trace with its header. `programFolder`
// ends in '/'; empty means the folder of the running program.
void InitDebugFile(const std::string& programFolder = std::string());
void WriteDebug(const std::string& s1, const std::string& s2 = std::string(),
                const std::string& s3 = std::string(), const std::string& s4 = std::string());
void WriteDebugInt(const std::string& text, int n);
void WriteDebugInt2(const std::string& text, int first, int second);
int IsDebugMode();
// Writes the count of a repeated last line that is still untold.
void FlushDebugRepeats();
// "hh:mm:ss" and "mm/dd/yyyy" of a local time.
std::string FormatTraceTime(std::time_t t);
std::string FormatTraceDate(std::time_t t);
