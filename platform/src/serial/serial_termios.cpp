// DCB <-> termios.
#include "serial/serial_termios.h"

namespace plat::serial {

namespace {

struct BaudEntry {
  DWORD baud;
  speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

bool baudCode(DWORD baud, speed_t* code) {
  for (const auto& e : kBauds)
    if (e.baud == baud) {
      *code = e.code;
      return true;
    }
  return false;
}

DWORD baudValue(speed_t code) {
  for (const auto& e : kBauds)
    if (e.code == code) return e.baud;
  return CBR_9600;
}

}  // namespace

bool validDcb(const DCB& dcb) {
  speed_t speed;
  return dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= SPACEPARITY && dcb.StopBits <= TWOSTOPBITS &&
         baudCode(dcb.BaudRate, &speed);
}

void dcbToTermios(const DCB& dcb, termios* tio) {
  // The device's ports are always binary: no line editing, no translation.
  cfmakeraw(tio);
  tio->c_cflag |= CLOCAL | CREAD;
  tio->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  tio->c_cflag |= sizes[(dcb.ByteSize >= 5 && dcb.ByteSize <= 8 ? dcb.ByteSize : 8) - 5];
  switch (dcb.Parity) {
    case ODDPARITY: tio->c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio->c_cflag |= PARENB; break;
    case MARKPARITY: tio->c_cflag |= PARENB | PARODD | CMSPAR; break;
    case SPACEPARITY: tio->c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // One and a half stop bits exist only with 5 data bits; the host has one or two.
  if (dcb.StopBits != ONESTOPBIT) tio->c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio->c_cflag |= CRTSCTS;
  tio->c_iflag &= ~(INPCK | IXON | IXOFF);
  if (dcb.fParity) tio->c_iflag |= INPCK;
  if (dcb.fOutX) tio->c_iflag |= IXON;
  if (dcb.fInX) tio->c_iflag |= IXOFF;
  if (dcb.XonChar) tio->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  if (dcb.XoffChar) tio->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  tio->c_cc[VMIN] = 0;
  tio->c_cc[VTIME] = 0;
  speed_t speed = B9600;
  baudCode(dcb.BaudRate, &speed);
  cfsetispeed(tio, speed);
  cfsetospeed(tio, speed);
}

void termiosToDcb(const termios& tio, DCB* dcb) {
  dcb->BaudRate = baudValue(cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5: dcb->ByteSize = 5; break;
    case CS6: dcb->ByteSize = 6; break;
    case CS7: dcb->ByteSize = 7; break;
    default: dcb->ByteSize = 8; break;
  }
  dcb->Parity = NOPARITY;
  if (tio.c_cflag & PARENB) {
    bool odd = tio.c_cflag & PARODD;
    if (tio.c_cflag & CMSPAR)
      dcb->Parity = odd ? MARKPARITY : SPACEPARITY;
    else
      dcb->Parity = odd ? ODDPARITY : EVENPARITY;
  }
  dcb->StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  dcb->fParity = (tio.c_iflag & INPCK) ? 1 : 0;
  dcb->fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
  dcb->fOutX = (tio.c_iflag & IXON) ? 1 : 0;
  dcb->fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
}

}  // namespace plat::serial
