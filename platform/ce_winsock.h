// Sockets of the infrared family, as the print job uses them (included on
// its own, as the platform's socket header is).  The emulator
// has no infrared port: a configurable fake stands in (see emulator.h,
// IrdaMode), whose printer appends what it receives to
// \Printouts\IrDA Printer.prn.
#pragma once

#include "platform/ce_base.h"

namespace ce {

using SOCKET = uintptr_t;
constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

constexpr int AF_IRDA = 22;
constexpr int SOCK_STREAM = 1;
constexpr int SOL_IRLMP = 0xFF;
constexpr int IRLMP_ENUMDEVICES = 0x10;
constexpr int IRLMP_IAS_QUERY = 0x12;
constexpr int IRLMP_SEND_PDU_LEN = 0x13;
constexpr int IRLMP_IRLPT_MODE = 0x15;
constexpr ULONG IAS_ATTRIB_NO_ATTRIB = 0;
constexpr ULONG IAS_ATTRIB_INT = 1;
constexpr ULONG IAS_ATTRIB_OCTETSEQ = 2;
constexpr ULONG IAS_ATTRIB_STR = 3;

constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  uint16_t iMaxSockets;
  uint16_t iMaxUdpDg;
  char* lpVendorInfo;
};

struct IRDA_DEVICE_INFO {
  BYTE irdaDeviceID[4];
  char irdaDeviceName[22];
  BYTE Reserved[2];
};
struct DEVICELIST {
  ULONG numDevice;
  IRDA_DEVICE_INFO Device[1];
};

struct IAS_QUERY {
  BYTE irdaDeviceID[4];
  char irdaClassName[64];
  char irdaAttribName[256];
  ULONG irdaAttribType;
  union {
    LONG irdaAttribInt;
    struct {
      ULONG Len;
      BYTE OctetSeq[1024];
    } irdaAttribOctetSeq;
    struct {
      ULONG Len;
      ULONG CharSet;
      BYTE UsrStr[256];
    } irdaAttribUsrStr;
  } irdaAttribute;
};

struct SOCKADDR_IRDA {
  uint16_t irdaAddressFamily;
  BYTE irdaDeviceID[4];
  char irdaServiceName[25];
};
struct sockaddr;

int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
SOCKET socket(int family, int type, int protocol);
int getsockopt(SOCKET s, int level, int option, char* value, int* length);
int setsockopt(SOCKET s, int level, int option, const char* value, int length);
int connect(SOCKET s, const sockaddr* address, int length);
int send(SOCKET s, const char* data, int length, int flags);
int closesocket(SOCKET s);

}  // namespace ce
