// What the engine needs from the program around it. The application
// installs its implementation at start-up; headless tests install their own.
#pragma once

#include <string>

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // Dispatches one waiting window message; false when none was waiting.
    // Called by the request pump while a request waits.
    virtual bool DispatchOneMessage() = 0;
    // A descriptor that becomes readable when a window message arrives, so
    // that a waiting request can sleep in poll() until then; -1 for none.
    virtual int EventFd() { return -1; }

    // Message boxes: a literal text, or a string of the language library by
    // id. `buttons` uses the system values (0 OK, 1 OK and Cancel); the
    // answer is the id of the button pressed (IDOK 1, IDCANCEL 2).
    virtual int MessageBox(const std::string& text, int buttons) = 0;
    virtual int MessageBoxById(int string_id, int buttons) = 0;
    // A string of the language library that holds one number to fill in
    // (a request result, say).
    virtual int MessageBoxByIdWithNumber(int string_id, int number, int buttons)
    {
        (void)number;
        return MessageBoxById(string_id, buttons);
    }
    // Asks the user for the code the phone waits for (PIN state index);
    // 2 when the user cancelled.
    virtual int AskSecurityCode(int pin_state) = 0;

    // The serial port's descriptor is about to be closed: whoever watches it
    // must stop now.
    virtual void PortClosing(int fd) { (void)fd; }
    // A serial port was opened and answered: whoever watches the port must
    // take this descriptor up (it may have been opened outside the loop
    // that watches, by a detection the user started).
    virtual void PortOpened(int fd) { (void)fd; }

    // One line of the program trace ("debug.txt").
    virtual void Trace(const std::string& line) = 0;

    // Folders, each ending in '/'.
    virtual std::string ProgramFolder() = 0;
    virtual std::string FilesFolder() = 0;
};

// The installed host, or nullptr (then the engine traces nothing, dispatches
// nothing and answers message boxes with IDCANCEL).
EngineHost* engine_host();
void engine_set_host(EngineHost* host);

// Writes a trace line through the host, when there is one.
void engine_trace(const std::string& line);
