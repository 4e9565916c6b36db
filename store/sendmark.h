// The "not confirmed" mark of a stored message: the phone did not answer
// the last send of it, so it may already have reached its recipients and
// a later send of it asks first. The phone's own store cannot carry such a
// mark, so it is kept on the PC side, in the table SendMark of a message
// database, keyed by the store and location of the message plus its
// recipients' numbers and its text: a different message stored later at
// the same place is not taken for the marked one. The table is added the
// first time a mark is kept; a file without it has no mark, and a program
// that does not know the table reads the file as before.
#pragma once

#include <cstdint>
#include <string>

class CDaoDatabase;

// The numbers of an address list as a message row keeps it ("name@number"
// lines), in order, one per line: what a mark is keyed by (names come and
// go with the phonebook, numbers stay).
std::string SendMarkNumbers(const std::string& addrList);

// Marks the message stored at (`store`, `location`) with these numbers
// and text, or, with `marked` false, drops any mark at that place. True
// when the database holds what was asked.
bool KeepSendMark(CDaoDatabase& db, int store, int32_t location, const std::string& addrList,
                  const std::string& text, bool marked);
// The same in the database file at `path` (opened for the time of it).
bool KeepSendMark(const std::string& path, int store, int32_t location, const std::string& addrList,
                  const std::string& text, bool marked);

// Whether the message stored at (`store`, `location`) with these numbers
// and text carries the mark.
bool HasSendMark(CDaoDatabase& db, int store, int32_t location, const std::string& addrList,
                 const std::string& text);
bool HasSendMark(const std::string& path, int store, int32_t location, const std::string& addrList,
                 const std::string& text);
