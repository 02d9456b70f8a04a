#include "camera_list.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "search_proto.h"

void format_mac(char out[18], const uint8_t *mac) {
  snprintf(out, 18, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
           mac[5]);
}

// A whole decimal number, or -1 for anything else (an empty or cut field).
static long decimal_or_unknown(const std::string &text) {
  if (text.empty() || text.size() > 10) return -1;
  for (char c : text)
    if (c < '0' || c > '9') return -1;
  return strtol(text.c_str(), nullptr, 10);
}

void camera_from_reply_text(Camera *camera, const uint8_t mac[6], const char *text) {
  std::vector<std::string> pieces;
  std::string piece;
  for (const char *p = text;; p++) {
    if (*p == ';' || *p == '\0') {
      pieces.push_back(piece);
      piece.clear();
      if (*p == '\0') break;
    } else {
      piece += *p;
    }
  }
  // Eight fields lead and three trail the title; extra pieces are ';' inside the title.
  enum { FIELDS = 12, LEADING = 8, TRAILING = 3 };
  if (pieces.size() > FIELDS) {
    size_t extra = pieces.size() - FIELDS;
    std::string title = pieces[LEADING];
    for (size_t i = 1; i <= extra; i++) title += ";" + pieces[LEADING + i];
    pieces.erase(pieces.begin() + LEADING + 1, pieces.begin() + LEADING + 1 + extra);
    pieces[LEADING] = title;
  }
  pieces.resize(FIELDS);
  *camera = Camera();
  memcpy(camera->mac, mac, 6);
  camera->ip = pieces[0];
  camera->httpPort = decimal_or_unknown(pieces[1]);
  camera->netmask = pieces[2];
  camera->gateway = pieces[3];
  camera->dns = pieces[4];
  camera->model = pieces[5];
  camera->firmware = pieces[6];
  camera->serial = pieces[7];
  camera->title = pieces[8];
  camera->name = pieces[9];
  camera->uptime = decimal_or_unknown(pieces[10]);
  camera->dhcp = decimal_or_unknown(pieces[11]);
  camera->rawText = text;
}

static std::string bounded_text(const uint8_t *bytes, size_t size) {
  size_t len = 0;
  while (len < size && bytes[len]) len++;
  return std::string((const char *)bytes, len);
}

static std::string dotted(const uint8_t *b) {
  char out[16];
  snprintf(out, sizeof(out), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return out;
}

void camera_from_udp_reply(Camera *camera, const uint8_t *reply) {
  *camera = Camera();
  memcpy(camera->mac, reply + 10, 6);
  camera->ip = dotted(reply + 20);
  camera->netmask = dotted(reply + 24);
  camera->gateway = dotted(reply + 28);
  camera->model = bounded_text(reply + 32, TOVRIN_NAME_SIZE - 1);
  camera->firmware = bounded_text(reply + 64, 16);
  camera->name = camera->model;
  camera->rawText = camera->ip + ";" + camera->netmask + ";" + camera->gateway + ";" +
                    camera->model + ";" + camera->firmware;
  camera->badChecksum = tovrin_checksum(reply, TOVRIN_SEARCH_REPLY_LEN) != 0;
}

std::string display_escape(const std::string &text) {
  std::string out(SEARCH_ESCAPED_SIZE(text.size()), '\0');
  out.resize(search_escape_text(text.data(), text.size(), &out[0], out.size()));
  return out;
}

std::string json_string(const std::string &text) {
  std::string out = "\"";
  for (char c : display_escape(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool CameraList::add(const Camera &camera) {
  for (Camera &known : cameras) {
    if (memcmp(known.mac, camera.mac, 6) == 0) {
      known = camera;
      return false;
    }
  }
  if (cameras.size() >= kMaxCameras) return false;
  cameras.push_back(camera);
  return true;
}

// Host-order address for sorting; addresses that do not parse sort after all others.
static uint64_t ip_sort_key(const std::string &ip) {
  struct in_addr addr;
  if (inet_pton(AF_INET, ip.c_str(), &addr) != 1) return 1ull << 32;
  return ntohl(addr.s_addr);
}

void CameraList::sort_by_ip() {
  std::stable_sort(cameras.begin(), cameras.end(), [](const Camera &a, const Camera &b) {
    uint64_t ka = ip_sort_key(a.ip), kb = ip_sort_key(b.ip);
    if (ka != kb) return ka < kb;
    if (a.ip != b.ip) return a.ip < b.ip;
    return memcmp(a.mac, b.mac, 6) < 0;
  });
}

static std::string number_text(long value) {
  return value < 0 ? std::string("-") : std::to_string(value);
}

static std::string dhcp_text(long value) {
  return value < 0 ? std::string("-") : value ? std::string("on") : std::string("off");
}

static std::string or_dash(const std::string &text) {
  return text.empty() ? std::string("-") : display_escape(text);
}

std::map<std::string, size_t> cameras_at_ip(const std::vector<Camera> &cameras) {
  std::map<std::string, size_t> count;
  for (const Camera &c : cameras) count[c.ip]++;
  return count;
}

void print_table(FILE *out, const std::vector<Camera> &cameras) {
  static const char *const kHeads[] = {"MAC",      "IP",     "NETMASK", "GATEWAY",
                                       "HTTP",     "DHCP",   "MODEL",   "FIRMWARE",
                                       "SERIAL",   "TITLE",  "UPTIME"};
  enum { COLUMNS = sizeof(kHeads) / sizeof(kHeads[0]) };
  std::vector<std::vector<std::string>> rows;
  const std::map<std::string, size_t> atIp = cameras_at_ip(cameras);
  for (const Camera &c : cameras) {
    char mac[18];
    format_mac(mac, c.mac);
    // Cameras fresh from the factory all answer at one address: say so on each.
    size_t sharing = c.ip.empty() ? 1 : atIp.at(c.ip);
    std::string ip = or_dash(c.ip);
    if (sharing > 1) ip += " (" + std::to_string(sharing) + " cameras)";
    rows.push_back({mac, ip, or_dash(c.netmask), or_dash(c.gateway),
                    number_text(c.httpPort), dhcp_text(c.dhcp), or_dash(c.model),
                    or_dash(c.firmware), or_dash(c.serial), or_dash(c.title),
                    number_text(c.uptime)});
  }
  size_t width[COLUMNS];
  for (int i = 0; i < COLUMNS; i++) {
    width[i] = strlen(kHeads[i]);
    for (const auto &row : rows) width[i] = std::max(width[i], row[i].size());
  }
  // The last column is not padded, so no line ends in blanks.
  for (int i = 0; i < COLUMNS; i++)
    fprintf(out, i + 1 < COLUMNS ? "%-*s  " : "%-*s\n", i + 1 < COLUMNS ? (int)width[i] : 0,
            kHeads[i]);
  for (const auto &row : rows)
    for (int i = 0; i < COLUMNS; i++)
      fprintf(out, i + 1 < COLUMNS ? "%-*s  " : "%-*s\n", i + 1 < COLUMNS ? (int)width[i] : 0,
              row[i].c_str());
}

static std::string json_number(long value) {
  return value < 0 ? std::string("null") : std::to_string(value);
}

// The fields of one camera as JSON members, without braces.
static std::string json_members(const Camera &c) {
  char mac[18];
  format_mac(mac, c.mac);
  std::string dhcp = c.dhcp < 0 ? "null" : c.dhcp ? "true" : "false";
  return "\"mac\": " + json_string(mac) + ", \"ip\": " + json_string(c.ip) +
         ", \"netmask\": " + json_string(c.netmask) + ", \"gateway\": " +
         json_string(c.gateway) + ", \"http_port\": " + json_number(c.httpPort) +
         ", \"dhcp\": " + dhcp + ", \"model\": " + json_string(c.model) +
         ", \"firmware\": " + json_string(c.firmware) + ", \"serial\": " +
         json_string(c.serial) + ", \"title\": " + json_string(c.title) +
         ", \"uptime\": " + json_number(c.uptime);
}

void print_json(FILE *out, const std::vector<Camera> &cameras) {
  const std::map<std::string, size_t> atIp = cameras_at_ip(cameras);
  fputs("[", out);
  for (size_t i = 0; i < cameras.size(); i++)
    fprintf(out, "%s\n  {%s, \"cameras_at_ip\": %zu}", i ? "," : "",
            json_members(cameras[i]).c_str(), atIp.at(cameras[i].ip));
  fputs(cameras.empty() ? "]\n" : "\n]\n", out);
}

static void print_raw_line(FILE *out, const Camera &c, const std::string &between) {
  char mac[18];
  format_mac(mac, c.mac);
  std::string text = display_escape(c.rawText);
  fprintf(out, "%s%s%s%s%s\n", mac, between.c_str(), text.empty() ? "" : " ", text.c_str(),
          c.badChecksum ? " (bad checksum)" : "");
}

void print_raw(FILE *out, const std::vector<Camera> &cameras) {
  for (const Camera &c : cameras) print_raw_line(out, c, "");
}

void print_cameras(FILE *out, OutputForm form, const std::vector<Camera> &cameras) {
  if (form == OUTPUT_JSON)
    print_json(out, cameras);
  else if (form == OUTPUT_RAW)
    print_raw(out, cameras);
  else
    print_table(out, cameras);
}

void print_modify_answer(FILE *out, OutputForm form, const Camera &camera, bool accepted,
                         const std::string &resultText) {
  if (form == OUTPUT_RAW) {
    print_raw_line(out, camera, " " + display_escape(resultText));
    return;
  }
  if (form == OUTPUT_JSON) {
    fprintf(out, "{\"accepted\": %s, \"answer\": %s, %s}\n", accepted ? "true" : "false",
            json_string(resultText).c_str(), json_members(camera).c_str());
    return;
  }
  char mac[18];
  format_mac(mac, camera.mac);
  fprintf(out, "%s %s the change (%s)\n", mac, accepted ? "accepted" : "refused",
          display_escape(resultText).c_str());
  if (camera.rawText.empty()) return;  // the UDP answer carries no settings
  fprintf(out, "%s now reports:\n", accepted ? "It" : "Its settings are unchanged; it");
  const struct {
    const char *name;
    std::string value;
  } lines[] = {
      {"IP", or_dash(camera.ip)},          {"netmask", or_dash(camera.netmask)},
      {"gateway", or_dash(camera.gateway)}, {"DNS", or_dash(camera.dns)},
      {"HTTP port", number_text(camera.httpPort)}, {"DHCP", dhcp_text(camera.dhcp)},
      {"title", or_dash(camera.title)},
  };
  for (const auto &line : lines) fprintf(out, "  %-10s %s\n", line.name, line.value.c_str());
}
