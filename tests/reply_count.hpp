// reply_count.hpp - the replies this process has waited for from any X
// server, counted by standing in for Xlib's one reply wait (_XReply).
// Linking anything that calls replies() brings the stand-in in; programs
// that do not are left as they are.
#pragma once

namespace kt {

// Replies waited for since the process started, on every connection.
unsigned long replies();

} // namespace kt
