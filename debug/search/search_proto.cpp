// Discovery frames and datagrams: building and parsing, nothing else.
#include "search_proto.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <string.h>

// The layouts that peers in the field depend on.
static_assert(SEARCH_REPLY_TEXT_OFFSET + SEARCH_REPLY_TEXT_SIZE == SEARCH_FRAME_LEN,
              "search reply is 260 bytes");
static_assert(SEARCH_MODIFY_REPLY_TEXT_OFFSET + SEARCH_MODIFY_REPLY_TEXT_SIZE == SEARCH_FRAME_LEN,
              "modify reply is 260 bytes");
static_assert(SEARCH_MODIFY_RESULT_OFFSET + 1 == SEARCH_MODIFY_REPLY_TEXT_OFFSET, "result byte");
static_assert(TOVRIN_SEARCH_REPLY_LEN == 112 + 2 && TOVRIN_MODIFY_LEN == 96 + 2 &&
                  TOVRIN_MODIFY_REPLY_LEN == 48 + 2,
              "tovrin datagrams end in their checksum");
static_assert(sizeof(TovrinModify::title) == TOVRIN_NAME_SIZE, "title bound");

const uint8_t kSearchSignature[4] = {0x20, 0x12, 0x06, 0x10};
const uint8_t kBroadcastMac[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
const char kMaskedPassword[] = "******";
const uint8_t kTovrinMagic[TOVRIN_MAGIC_LEN] = {'T', 'O', 'V', 'R', 'I', 'N', 'u', 't'};

// Copies at most size - 1 bytes of src (ending at its NUL or after len bytes) and
// terminates the copy.
static void copy_bounded(char *dst, size_t size, const char *src, size_t len) {
  size_t n = 0;
  while (n + 1 < size && n < len && src[n] != '\0') {
    dst[n] = src[n];
    n++;
  }
  dst[n] = '\0';
}

SearchRequestKind search_parse_frame(const uint8_t *frame, size_t caplen, const uint8_t *ownMac,
                                     SearchRequest *req) {
  memset(req, 0, sizeof(*req));
  if (caplen <= SEARCH_HEADER_LEN) return SEARCH_REQ_IGNORE;
  // The capture filter passes only this type, but the parser does not rely on it.
  if (frame[12] != (SEARCH_ETHERTYPE >> 8) || frame[13] != (SEARCH_ETHERTYPE & 0xff))
    return SEARCH_REQ_IGNORE;
  if (frame[6] & 0x01) return SEARCH_REQ_IGNORE;  // group source: forged or reflected
  if (ownMac && memcmp(frame + 6, ownMac, 6) == 0) return SEARCH_REQ_IGNORE;
  if (memcmp(frame + 14, kSearchSignature, sizeof(kSearchSignature)) != 0)
    return SEARCH_REQ_IGNORE;
  req->requester = frame + 6;
  // Peers in the field mark the operation by the sum of its two bytes.
  unsigned sum = (unsigned)frame[18] + (unsigned)frame[19];
  if (sum == SEARCH_OP_SEARCH) {
    req->kind = SEARCH_REQ_SEARCH;
    return req->kind;
  }
  if (sum != SEARCH_OP_MODIFY) return SEARCH_REQ_IGNORE;
  // A modify request needs its target MAC whole, and it must be ours.
  if (caplen < SEARCH_MODIFY_TEXT_OFFSET || !ownMac) return SEARCH_REQ_IGNORE;
  if (memcmp(frame + SEARCH_TARGET_OFFSET, ownMac, 6) != 0) return SEARCH_REQ_IGNORE;
  req->target = frame + SEARCH_TARGET_OFFSET;
  req->text = (const char *)frame + SEARCH_MODIFY_TEXT_OFFSET;
  size_t avail = caplen - SEARCH_MODIFY_TEXT_OFFSET;
  const void *nul = memchr(req->text, '\0', avail);
  req->textLen = nul ? (size_t)((const char *)nul - req->text) : avail;
  req->kind = SEARCH_REQ_MODIFY;
  return req->kind;
}

void search_capture_filter(char *out, size_t size, const uint8_t *ownMac) {
  // Offsets as search_parse_frame reads them: source at 6, signature at 14, operation
  // bytes at 18 and 19 (their sum names it), a modify's target at 20.
  const uint32_t signature = (uint32_t)kSearchSignature[0] << 24 |
                             (uint32_t)kSearchSignature[1] << 16 |
                             (uint32_t)kSearchSignature[2] << 8 | kSearchSignature[3];
  const int common = snprintf(out, size,
                              "ether proto 0x%04x and ether[6] & 1 = 0 and ether[14:4] = 0x%08x",
                              SEARCH_ETHERTYPE, signature);
  if (common < 0 || (size_t)common >= size) return;
  if (!ownMac) {
    snprintf(out + common, size - common, " and ether[18] + ether[19] = %d", SEARCH_OP_SEARCH);
    return;
  }
  const uint8_t *m = ownMac;
  snprintf(out + common, size - common,
           " and (ether[18] + ether[19] = %d or (ether[18] + ether[19] = %d"
           " and ether[%d:4] = 0x%02x%02x%02x%02x and ether[%d:2] = 0x%02x%02x))"
           " and (ether[0] & 1 = 1 or ether dst %02x:%02x:%02x:%02x:%02x:%02x)",
           SEARCH_OP_SEARCH, SEARCH_OP_MODIFY, SEARCH_TARGET_OFFSET, m[0], m[1], m[2], m[3],
           SEARCH_TARGET_OFFSET + 4, m[4], m[5], m[0], m[1], m[2], m[3], m[4], m[5]);
}

void search_split_modify_text(const char *text, size_t len, SearchModifyFields *out) {
  memset(out, 0, sizeof(*out));
  int index = 0;
  size_t pos = 0;
  while (index < SEARCH_MODIFY_FIELDS && pos < len && text[pos] != '\0') {
    if (text[pos] == ';') {  // empty piece: keeps the position for the next text
      pos++;
      continue;
    }
    size_t start = pos;
    while (pos < len && text[pos] != '\0' && text[pos] != ';') pos++;
    copy_bounded(out->field[index], SEARCH_FIELD_SIZE, text + start, pos - start);
    index++;
  }
}

void search_mask_modify_text(const char *text, size_t len, char *out, size_t size) {
  if (size == 0) return;
  size_t n = 0, pos = 0;
  int piece = 0;
  auto put = [&](char c) {
    if (n + 1 < size) out[n++] = c;
  };
  while (pos < len && text[pos] != '\0') {
    if (text[pos] == ';') {
      put(text[pos++]);
      continue;
    }
    size_t start = pos;
    while (pos < len && text[pos] != '\0' && text[pos] != ';') pos++;
    if (piece++ == MODIFY_PASSWORD) {
      for (const char *m = kMaskedPassword; *m; m++) put(*m);
    } else {
      for (size_t i = start; i < pos; i++) put(text[i]);
    }
  }
  out[n] = '\0';
}

size_t search_escape_text(const char *text, size_t len, char *out, size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  for (size_t i = 0; i < len; i++) {
    const unsigned char c = (unsigned char)text[i];
    char piece[5];
    if (c == '\\')
      memcpy(piece, "\\\\", 3);
    else if (c >= 0x20 && c < 0x7f)
      piece[0] = (char)c, piece[1] = '\0';
    else
      snprintf(piece, sizeof(piece), "\\x%02x", c);
    const size_t pieceLen = strlen(piece);
    if (n + pieceLen + 1 > size) break;
    memcpy(out + n, piece, pieceLen);
    n += pieceLen;
  }
  out[n] = '\0';
  return n;
}

int search_title_is_valid(const char *title) {
  for (const unsigned char *p = (const unsigned char *)title; *p; p++)
    if (*p == ';' || *p < 0x20 || *p == 0x7f) return 0;
  return 1;
}

// The host-order value of a dotted quad; false when inet_pton refuses it.
static bool ipv4_value(const char *text, uint32_t *value) {
  struct in_addr addr;
  if (inet_pton(AF_INET, text, &addr) != 1) return false;
  *value = ntohl(addr.s_addr);
  return true;
}

static bool netmask_value_is_usable(uint32_t mask) {
  const uint32_t hostBits = ~mask;
  // Contiguous ones: the host part is all ones below its top bit.
  return mask != 0 && hostBits != 0 && (hostBits & (hostBits + 1)) == 0;
}

int search_netmask_is_usable(const char *mask) {
  uint32_t value;
  return ipv4_value(mask, &value) && netmask_value_is_usable(value);
}

int search_host_address_is_usable(const char *ip, const char *mask) {
  uint32_t address;
  if (!ipv4_value(ip, &address)) return 0;
  const uint32_t top = address >> 24;
  if (top == 0 || top == 127 || top >= 224) return 0;  // 240/4 and 255.255.255.255 too
  uint32_t maskValue;
  if (!ipv4_value(mask, &maskValue) || !netmask_value_is_usable(maskValue)) return 1;
  const uint32_t host = address & ~maskValue;
  return host != 0 && host != ~maskValue;
}

int search_gateway_in_subnet(const char *gateway, const char *ip, const char *mask) {
  uint32_t gatewayValue, ipValue, maskValue;
  if (!ipv4_value(gateway, &gatewayValue) || !ipv4_value(ip, &ipValue) ||
      !ipv4_value(mask, &maskValue) || !netmask_value_is_usable(maskValue))
    return 1;
  return (gatewayValue & maskValue) == (ipValue & maskValue);
}

void search_format_reply_text(char *out, size_t size, const SearchReplyInfo *info) {
  snprintf(out, size, "%s;%d;%s;%s;%s;%s;%s;%s;%s;%s;%d;%d", info->ip, info->httpPort,
           info->netmask, info->gateway, info->dns, info->model, info->firmware, info->serial,
           info->title, info->name, info->uptime, info->dhcp);
}

void search_put_header(uint8_t *frame, const uint8_t dst[6], const uint8_t src[6],
                       uint16_t operation) {
  memcpy(frame, dst, 6);
  memcpy(frame + 6, src, 6);
  frame[12] = SEARCH_ETHERTYPE >> 8;
  frame[13] = SEARCH_ETHERTYPE & 0xff;
  memcpy(frame + 14, kSearchSignature, sizeof(kSearchSignature));
  frame[18] = (uint8_t)(operation >> 8);
  frame[19] = (uint8_t)(operation & 0xff);
}

void search_build_search_reply(uint8_t frame[SEARCH_FRAME_LEN], const uint8_t dst[6],
                               const uint8_t src[6], const char *text) {
  memset(frame, 0, SEARCH_FRAME_LEN);
  search_put_header(frame, dst, src, SEARCH_OP_SEARCH_REPLY);
  copy_bounded((char *)frame + SEARCH_REPLY_TEXT_OFFSET, SEARCH_REPLY_TEXT_SIZE, text,
               SEARCH_REPLY_TEXT_SIZE);
}

void search_build_modify_reply(uint8_t frame[SEARCH_FRAME_LEN], const uint8_t dst[6],
                               const uint8_t src[6], int result, const char *text) {
  memset(frame, 0, SEARCH_FRAME_LEN);
  search_put_header(frame, dst, src, SEARCH_OP_MODIFY_REPLY);
  memcpy(frame + SEARCH_TARGET_OFFSET, dst, 6);
  frame[SEARCH_MODIFY_RESULT_OFFSET] = (uint8_t)result;
  copy_bounded((char *)frame + SEARCH_MODIFY_REPLY_TEXT_OFFSET, SEARCH_MODIFY_REPLY_TEXT_SIZE,
               text, SEARCH_MODIFY_REPLY_TEXT_SIZE);
}

int search_parse_uptime(const char *line) {
  long value = 0;
  for (const char *p = line; *p >= '0' && *p <= '9'; p++) {
    if (value > 0x7fffffff / 10) break;  // beyond 68 years: keep what fits
    value = value * 10 + (*p - '0');
  }
  return (int)value;
}

size_t search_build_search_request(uint8_t *frame, size_t size, const uint8_t src[6]) {
  const size_t len = 60;
  if (size < len) return 0;
  memset(frame, 0, len);
  search_put_header(frame, kBroadcastMac, src, SEARCH_OP_SEARCH);
  return len;
}

size_t search_build_modify_request(uint8_t *frame, size_t size, const uint8_t src[6],
                                   const uint8_t target[6], const char *text) {
  size_t textLen = strlen(text);
  size_t len = SEARCH_MODIFY_TEXT_OFFSET + textLen + 1;
  if (len < 60) len = 60;
  if (len > size) return 0;
  memset(frame, 0, len);
  search_put_header(frame, target, src, SEARCH_OP_MODIFY);
  memcpy(frame + SEARCH_TARGET_OFFSET, target, 6);
  memcpy(frame + SEARCH_MODIFY_TEXT_OFFSET, text, textLen);
  return len;
}

int search_parse_reply(const uint8_t *frame, size_t len, SearchReply *out) {
  memset(out, 0, sizeof(*out));
  if (len < SEARCH_MODIFY_REPLY_TEXT_OFFSET) return -1;
  if (frame[12] != (SEARCH_ETHERTYPE >> 8) || frame[13] != (SEARCH_ETHERTYPE & 0xff)) return -1;
  if (memcmp(frame + 14, kSearchSignature, sizeof(kSearchSignature)) != 0) return -1;
  int op = (frame[18] << 8) | frame[19];
  out->camera = frame + 6;
  out->operation = op;
  if (op == SEARCH_OP_SEARCH_REPLY) {
    copy_bounded(out->text, sizeof(out->text), (const char *)frame + SEARCH_REPLY_TEXT_OFFSET,
                 len - SEARCH_REPLY_TEXT_OFFSET);
    return 0;
  }
  if (op == SEARCH_OP_MODIFY_REPLY) {
    out->result = frame[SEARCH_MODIFY_RESULT_OFFSET];
    copy_bounded(out->text, sizeof(out->text),
                 (const char *)frame + SEARCH_MODIFY_REPLY_TEXT_OFFSET,
                 len - SEARCH_MODIFY_REPLY_TEXT_OFFSET);
    return 0;
  }
  return -1;
}

// ---- UDP ------------------------------------------------------------------------------

uint16_t tovrin_checksum(const uint8_t *data, size_t len) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < len; i += 2) sum += (uint32_t)data[i] | ((uint32_t)data[i + 1] << 8);
  if (i < len) sum += data[i];
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return (uint16_t)~sum;
}

static void put_le16(uint8_t *p, uint16_t v) {
  p[0] = (uint8_t)(v & 0xff);
  p[1] = (uint8_t)(v >> 8);
}

static void put_tovrin_header(uint8_t *out, uint8_t command) {
  memcpy(out, kTovrinMagic, TOVRIN_MAGIC_LEN);
  out[8] = 0;
  out[9] = command;
}

int tovrin_classify(const uint8_t *dgram, size_t len) {
  if (len <= 10) return -1;
  if (memcmp(dgram, kTovrinMagic, TOVRIN_MAGIC_LEN) != 0 || dgram[8] != 0) return -1;
  if (dgram[9] == TOVRIN_CMD_SEARCH || dgram[9] == TOVRIN_CMD_MODIFY) return dgram[9];
  return -1;
}

static void format_address(char out[32], const uint8_t *b) {
  snprintf(out, 32, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

void tovrin_parse_modify(const uint8_t *dgram, size_t len, TovrinModify *out) {
  // Work on a zero-filled copy so that a short datagram reads as zeros.
  uint8_t req[TOVRIN_MODIFY_LEN] = {0};
  memcpy(req, dgram, len < sizeof(req) ? len : sizeof(req));
  memset(out, 0, sizeof(*out));
  memcpy(out->target, req + 10, 6);
  format_address(out->ip, req + 20);
  format_address(out->netmask, req + 24);
  format_address(out->gateway, req + 28);
  copy_bounded(out->title, sizeof(out->title), (const char *)req + 32, TOVRIN_NAME_SIZE);
  tovrin_decode_password(req + 64, out->password);
  tovrin_decode_password(req + 80, out->newPassword);
  out->checksumComputed = tovrin_checksum(req, 96);
  out->checksumReceived = (uint16_t)(req[96] | (req[97] << 8));
}

static uint8_t swap_nibbles(uint8_t b) { return (uint8_t)((b << 4) | (b >> 4)); }

void tovrin_encode_password(const char *plain, uint8_t out[TOVRIN_PASSWORD_SIZE]) {
  memset(out, 0, TOVRIN_PASSWORD_SIZE);
  for (int i = 0; i < TOVRIN_PASSWORD_SIZE && plain[i] != '\0'; i++)
    out[i] = swap_nibbles((uint8_t)plain[i]);
}

void tovrin_decode_password(const uint8_t *coded, char out[TOVRIN_PASSWORD_SIZE + 1]) {
  int i = 0;
  for (; i < TOVRIN_PASSWORD_SIZE && coded[i] != 0; i++) out[i] = (char)swap_nibbles(coded[i]);
  out[i] = '\0';
}

static void put_address(uint8_t *p, uint32_t networkOrder) { memcpy(p, &networkOrder, 4); }

void tovrin_build_search_reply(uint8_t out[TOVRIN_SEARCH_REPLY_LEN], const uint8_t mac[6],
                               uint32_t ip, uint32_t netmask, uint32_t gateway,
                               const char *name, const char *firmware) {
  memset(out, 0, TOVRIN_SEARCH_REPLY_LEN);
  put_tovrin_header(out, TOVRIN_CMD_SEARCH_REPLY);
  memcpy(out + 10, mac, 6);
  memcpy(out + 16, "D000", 4);
  put_address(out + 20, ip);
  put_address(out + 24, netmask);
  put_address(out + 28, gateway);
  copy_bounded((char *)out + 32, TOVRIN_NAME_SIZE, name, TOVRIN_NAME_SIZE);
  for (int i = 0; i < 16 && firmware[i] != '\0'; i++) out[64 + i] = (uint8_t)firmware[i];
  memcpy(out + 80, out + 32, TOVRIN_NAME_SIZE);
  put_le16(out + 112, tovrin_checksum(out, 112));
}

void tovrin_build_modify_reply(uint8_t out[TOVRIN_MODIFY_REPLY_LEN], const uint8_t mac[6],
                               const char *text) {
  memset(out, 0, TOVRIN_MODIFY_REPLY_LEN);
  put_tovrin_header(out, TOVRIN_CMD_MODIFY_REPLY);
  memcpy(out + 10, mac, 6);
  copy_bounded((char *)out + 16, 16, text, 16);
  put_le16(out + 48, tovrin_checksum(out, 48));
}

size_t tovrin_build_search_request(uint8_t *out, size_t size) {
  const size_t len = 16;
  if (size < len) return 0;
  memset(out, 0, len);
  put_tovrin_header(out, TOVRIN_CMD_SEARCH);
  return len;
}

void tovrin_build_modify_request(uint8_t out[TOVRIN_MODIFY_LEN], const uint8_t target[6],
                                 uint32_t ip, uint32_t netmask, uint32_t gateway,
                                 const char *title, const char *password,
                                 const char *newPassword) {
  memset(out, 0, TOVRIN_MODIFY_LEN);
  put_tovrin_header(out, TOVRIN_CMD_MODIFY);
  memcpy(out + 10, target, 6);
  put_address(out + 20, ip);
  put_address(out + 24, netmask);
  put_address(out + 28, gateway);
  copy_bounded((char *)out + 32, TOVRIN_NAME_SIZE, title, TOVRIN_NAME_SIZE);
  tovrin_encode_password(password, out + 64);
  tovrin_encode_password(newPassword, out + 80);
  put_le16(out + 96, tovrin_checksum(out, 96));
}
