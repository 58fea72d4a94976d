// The line settings of a DCB on termios, and back.
#pragma once

#include <termios.h>

#include "plat_serial.h"

namespace plat::serial {
// Byte size 5..8, parity up to SPACEPARITY, stop bits up to TWOSTOPBITS, a baud rate the host knows.
bool validDcb(const DCB& dcb);
// Raw (binary) mode with the DCB's size, parity, stop bits, flow control and speed; reads
// neither block nor wait (VMIN = VTIME = 0: the port object does the waiting).
void dcbToTermios(const DCB& dcb, termios* tio);
// The fields of the DCB that termios holds.
void termiosToDcb(const termios& tio, DCB* dcb);
}  // namespace plat::serial
