// Discovery protocols of the camera, byte by byte: the raw-Ethernet search frames
// (EtherType 0x0809) and the UDP "tovrin" datagrams. Pure functions over caller
// buffers, shared by the responder, the discovery client, unit tests and fuzz targets.
// Nothing here allocates or touches the network.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---- Raw-Ethernet search frames --------------------------------------------------

enum {
  SEARCH_ETHERTYPE = 0x0809,
  SEARCH_HEADER_LEN = 20,        // MACs, EtherType, signature, operation
  SEARCH_FRAME_LEN = 260,        // every reply
  SEARCH_TARGET_OFFSET = 20,     // modify request: MAC of the camera to change
  SEARCH_MODIFY_TEXT_OFFSET = 26,
  SEARCH_REPLY_TEXT_OFFSET = 20,
  SEARCH_REPLY_TEXT_SIZE = 240,  // search reply text field, NUL included
  SEARCH_MODIFY_RESULT_OFFSET = 26,
  SEARCH_MODIFY_REPLY_TEXT_OFFSET = 27,
  SEARCH_MODIFY_REPLY_TEXT_SIZE = 233,
  SEARCH_OP_SEARCH = 0,
  SEARCH_OP_SEARCH_REPLY = 1,
  SEARCH_OP_MODIFY = 2,
  SEARCH_OP_MODIFY_REPLY = 3,
  SEARCH_FIELD_SIZE = 128,       // one modify field: 127 characters and the NUL
  SEARCH_MODIFY_FIELDS = 8,
};

extern const uint8_t kSearchSignature[4];
extern const uint8_t kBroadcastMac[6];

typedef enum SearchRequestKind {
  SEARCH_REQ_IGNORE = 0,
  SEARCH_REQ_SEARCH = 1,
  SEARCH_REQ_MODIFY = 2,
} SearchRequestKind;

// A received request, pointing into the captured bytes (no copy).
typedef struct SearchRequest {
  SearchRequestKind kind;
  const uint8_t *requester;      // source MAC of the request
  const uint8_t *target;         // modify: bytes 20..25
  const char *text;              // modify: the text, not necessarily NUL-terminated
  size_t textLen;                // ends at the first NUL or at the captured length
} SearchRequest;

// Classifies one captured frame. A frame of another EtherType is ignored. A source MAC with the group bit set (broadcast,
// multicast: no real sender has one) is ignored. ownMac (may be null when it could
// not be read) is the camera's eth0 MAC: frames sent from it are ignored, and a modify request is
// taken only when its target equals it. Never reads past caplen.
SearchRequestKind search_parse_frame(const uint8_t *frame, size_t caplen, const uint8_t *ownMac,
                                     SearchRequest *req);

// The eight fields of a modify text, in order.
enum {
  MODIFY_IP = 0,
  MODIFY_HTTP_PORT,
  MODIFY_NETMASK,
  MODIFY_GATEWAY,
  MODIFY_DNS,
  MODIFY_TITLE,
  MODIFY_USER,
  MODIFY_PASSWORD,
};
typedef struct SearchModifyFields {
  char field[SEARCH_MODIFY_FIELDS][SEARCH_FIELD_SIZE];
} SearchModifyFields;

// Splits a modify text at ';' (empty pieces do not take a position; a piece is cut to
// 127 characters; pieces after the eighth are dropped). The text ends at its first
// NUL or after len bytes.
void search_split_modify_text(const char *text, size_t len, SearchModifyFields *out);

// The modify text as it may be printed: the password piece (the eighth non-empty
// one) reads "******", every other byte as received. Ends at the first NUL or after
// len bytes; cut to size - 1 characters.
void search_mask_modify_text(const char *text, size_t len, char *out, size_t size);
extern const char kMaskedPassword[];

// Network text as a console or log may show it: printable ASCII as it is, a backslash
// as "\\", every other byte (control bytes, escape sequences, bytes above 0x7e) as
// "\xNN" in lower-case hex. Takes all len bytes, NULs too; the output is cut before an
// escape that would not fit in size - 1 characters and terminated. Returns its length.
size_t search_escape_text(const char *text, size_t len, char *out, size_t size);
// Room for the escaped form of len bytes, NUL included.
#define SEARCH_ESCAPED_SIZE(len) (4 * (len) + 1)

// 1 if a title keeps the reply's fields apart: no ';', no control byte (below 0x20,
// or 0x7f).
int search_title_is_valid(const char *title);

// The kernel filter of the listener's capture, as libpcap compiles it: only frames
// search_parse_frame may act on pass (the type, a unicast source, the signature, a
// search request, or a modify request whose target is ownMac), sent to a group address
// or to ownMac; without ownMac, searches alone. Every other frame costs the responder
// nothing: the kernel drops it. Writes at most size bytes to out.
void search_capture_filter(char *out, size_t size, const uint8_t *ownMac);

// Addresses an accepted modify may store, as dotted quads (anything inet_pton refuses
// is not usable). A netmask: its one bits contiguous, neither /0 nor /32.
int search_netmask_is_usable(const char *mask);
// A host's address or gateway: not in 0/8 (unspecified), not limited broadcast,
// loopback (127/8), multicast (224/4) or reserved (240/4), and, when mask is a usable
// netmask, neither the network nor the broadcast address of its subnet under it.
int search_host_address_is_usable(const char *ip, const char *mask);
// 1 unless gateway lies outside ip's subnet under mask: a default route through it
// cannot be added. With ip or mask not a usable address or netmask there is no subnet
// to judge by, and the gateway is taken as it is.
int search_gateway_in_subnet(const char *gateway, const char *ip, const char *mask);

// What a reply text reports, in the order of its twelve fields.
typedef struct SearchReplyInfo {
  const char *ip;
  int httpPort;
  const char *netmask;
  const char *gateway;
  const char *dns;
  const char *model;     // device text 2
  const char *firmware;  // device text 3
  const char *serial;    // device text 4
  const char *title;     // device text 1
  const char *name;      // OEM model text, or device text 2 when that is empty
  int uptime;            // whole seconds since boot
  int dhcp;
} SearchReplyInfo;

// "%s;%d;%s;%s;%s;%s;%s;%s;%s;%s;%d;%d", cut to size - 1 characters.
void search_format_reply_text(char *out, size_t size, const SearchReplyInfo *info);

// Fills the 20-byte header.
void search_put_header(uint8_t *frame, const uint8_t dst[6], const uint8_t src[6],
                       uint16_t operation);
// A 260-byte search reply.
void search_build_search_reply(uint8_t frame[SEARCH_FRAME_LEN], const uint8_t dst[6],
                               const uint8_t src[6], const char *text);
// A 260-byte modify reply: dst is also copied to bytes 20..25.
void search_build_modify_reply(uint8_t frame[SEARCH_FRAME_LEN], const uint8_t dst[6],
                               const uint8_t src[6], int result, const char *text);

// Seconds since boot from the first line of /proc/uptime: the leading decimal digits
// of its first value; 0 when there are none.
int search_parse_uptime(const char *line);

// ---- Client side of the raw frames (the configuration tool) -----------------------

// A search request of 60 bytes (the Ethernet minimum, padding zero). Returns its length.
size_t search_build_search_request(uint8_t *frame, size_t size, const uint8_t src[6]);
// A modify request carrying text (NUL-terminated) for the camera target. Returns the
// frame length, or 0 when it does not fit in size.
size_t search_build_modify_request(uint8_t *frame, size_t size, const uint8_t src[6],
                                   const uint8_t target[6], const char *text);

// A reply as the client sees it.
typedef struct SearchReply {
  int operation;         // SEARCH_OP_SEARCH_REPLY or SEARCH_OP_MODIFY_REPLY
  const uint8_t *camera; // source MAC
  int result;            // modify reply only
  char text[SEARCH_REPLY_TEXT_SIZE];
} SearchReply;
// 0 for a search or modify reply (text copied, bounded), -1 for anything else.
int search_parse_reply(const uint8_t *frame, size_t len, SearchReply *out);

// ---- UDP "tovrin" datagrams ---------------------------------------------------------

enum {
  TOVRIN_REQUEST_PORT = 62630,
  TOVRIN_REPLY_PORT = 62631,
  TOVRIN_MAX_DATAGRAM = 128,
  TOVRIN_MAGIC_LEN = 8,
  TOVRIN_CMD_SEARCH = 0x16,
  TOVRIN_CMD_SEARCH_REPLY = 0x70,
  TOVRIN_CMD_MODIFY = 0x90,
  TOVRIN_CMD_MODIFY_REPLY = 0x30,
  TOVRIN_SEARCH_REPLY_LEN = 114,
  TOVRIN_MODIFY_LEN = 98,
  TOVRIN_MODIFY_REPLY_LEN = 50,
  TOVRIN_NAME_SIZE = 32,
  TOVRIN_PASSWORD_SIZE = 16,
};

extern const uint8_t kTovrinMagic[TOVRIN_MAGIC_LEN];

// Internet checksum (RFC 1071) over 16-bit words taken little-endian; stored
// little-endian it puts the usual bytes on the wire.
uint16_t tovrin_checksum(const uint8_t *data, size_t len);

// The command byte of a request the camera serves (more than 10 bytes, magic, zero
// byte 8, command 0x16 or 0x90), or -1.
int tovrin_classify(const uint8_t *dgram, size_t len);

// A modify request decoded into bounded, NUL-terminated texts. Bytes beyond len
// (or beyond 98) count as zero.
typedef struct TovrinModify {
  uint8_t target[6];
  char ip[32];
  char netmask[32];
  char gateway[32];
  char title[TOVRIN_NAME_SIZE];                  // at most 31 characters
  char password[TOVRIN_PASSWORD_SIZE + 1];
  char newPassword[TOVRIN_PASSWORD_SIZE + 1];
  uint16_t checksumComputed;                     // over bytes 0..95
  uint16_t checksumReceived;                     // bytes 96, 97 little-endian
} TovrinModify;
void tovrin_parse_modify(const uint8_t *dgram, size_t len, TovrinModify *out);

// Password coding: each byte's 4-bit halves swapped, up to 16 bytes, a zero byte ends.
void tovrin_encode_password(const char *plain, uint8_t out[TOVRIN_PASSWORD_SIZE]);
void tovrin_decode_password(const uint8_t *coded, char out[TOVRIN_PASSWORD_SIZE + 1]);

// Replies. Addresses are in network order (first octet first in memory).
void tovrin_build_search_reply(uint8_t out[TOVRIN_SEARCH_REPLY_LEN], const uint8_t mac[6],
                               uint32_t ip, uint32_t netmask, uint32_t gateway,
                               const char *name, const char *firmware);
void tovrin_build_modify_reply(uint8_t out[TOVRIN_MODIFY_REPLY_LEN], const uint8_t mac[6],
                               const char *text);

// Client side: requests.
size_t tovrin_build_search_request(uint8_t *out, size_t size);
void tovrin_build_modify_request(uint8_t out[TOVRIN_MODIFY_LEN], const uint8_t target[6],
                                 uint32_t ip, uint32_t netmask, uint32_t gateway,
                                 const char *title, const char *password,
                                 const char *newPassword);
