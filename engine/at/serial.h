// The serial port layer: one port at a time, the link to the phone.
#pragma once

#include <cstdint>
#include <string>

#include "krn.h"

// Opens port `port` (see serial_port_path), sets it to raw 19200 8N1, sends
// a line break and tries one read. 1: open and answering; 0: could not be
// opened or set up; -1: opened but the read test failed (closed again).
int Init_Serial(uint16_t port);
void Close_Serial();
// Writes block = {length high, length low, text...}.
void Send_Serial_Line(const uint8_t* block);
// Sends everything waiting on the port to task ATI as serial-input messages
// of at most 128 bytes. 1: all read (or nothing waiting); 0: the port is
// closed or a read gave no byte.
int Read_Serial_Line();
int Break_Serial_Line();
// Writes a serial-output message (text or line break) and frees it.
void Serial_Output(krn_msg* msg);

// The open port's descriptor, -1 when closed (for poll()).
int serial_fd();
// True from the moment the port hung up (and was closed) until the next
// successful Init_Serial: requests then fail at once.
bool serial_hung_up();
// Which opening of a port is the current line: it changes with each open,
// so that nothing still due on a line closed since (the rest of a late
// answer) is waited for on the next.
unsigned serial_line();
// The text as the traces show it: the codes of +CPIN=, +CLCK= and +CPWD=
// written as '*'.
std::string serial_mask_codes(const std::string& text);
// The port last opened (kept after it is closed, so that a link test can
// open it again); 0 before any.
uint16_t serial_last_port();
// Bytes read from and written to the port since the program started.
void serial_byte_counts(uint64_t* in, uint64_t* out);

// The device of port number N: "COMN=<path>" in the [Ports] section of the
// profile, else the Nth serial device of the machine (USB and ACM devices
// first, then the built-in ports), or "" when there is none.
std::string serial_port_path(uint16_t port);
// A mapping of port `port` for this run only (never written to the profile;
// a user's own [Ports] entry for the port wins). An empty path removes it.
void serial_set_run_port(uint16_t port, const std::string& path);

// The AT trace "debugAT.txt" in `folder`: opened once (appending, with a
// header) when switched on, kept across port changes; closed by
// serial_trace_stop.
void serial_trace_start(const std::string& folder);
void serial_trace_stop();
bool serial_trace_on();
// Writes what the trace holds back: an input line not yet ended and the
// count of a line repeated in a row.
void serial_trace_flush();
