#include "site_plan.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <map>

#include "camera_list.h"
#include "search_proto.h"

enum Column { COL_MAC, COL_IP, COL_NETMASK, COL_GATEWAY, COL_DNS, COL_HTTP_PORT, COL_TITLE,
              COLUMN_COUNT };
const char *const kPlanColumns[] = {"mac", "ip", "netmask", "gateway", "dns", "http_port",
                                    "title", nullptr};
static_assert(sizeof(kPlanColumns) / sizeof(kPlanColumns[0]) == COLUMN_COUNT + 1,
              "a name for every column");

namespace {

// Collects the problems of one plan, each on its line.
struct Problems {
  const std::string &name;
  std::vector<std::string> *lines;
  void add(int line, const std::string &what) {
    lines->push_back(line ? name + ":" + std::to_string(line) + ": " + what
                          : name + ": " + what);
  }
};

std::string trimmed(const std::string &text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) begin++;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) end--;
  return text.substr(begin, end - begin);
}

// Splits a CSV line into cells: a cell in double quotes may hold commas and "" for a
// quote; blanks around a cell are dropped. Returns false (why set) for a broken quote.
bool split_cells(const std::string &line, std::vector<std::string> *cells, std::string *why) {
  cells->clear();
  size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    std::string cell;
    if (i < line.size() && line[i] == '"') {
      for (i++;; i++) {
        if (i >= line.size()) {
          *why = "a quoted cell has no closing quote";
          return false;
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i++;
            continue;
          }
          i++;
          break;
        }
        cell += line[i];
      }
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
      if (i < line.size() && line[i] != ',') {
        *why = "text after a quoted cell";
        return false;
      }
    } else {
      size_t comma = line.find(',', i);
      cell = trimmed(line.substr(i, comma == std::string::npos ? std::string::npos : comma - i));
      i = comma == std::string::npos ? line.size() : comma;
    }
    cells->push_back(cell);
    if (i >= line.size()) return true;
    i++;  // the comma
  }
}

bool parse_plan_mac(const std::string &text, uint8_t mac[6]) {
  if (text.size() != 17) return false;
  for (int i = 0; i < 6; i++) {
    const char *pair = text.c_str() + 3 * i;
    if (!isxdigit((unsigned char)pair[0]) || !isxdigit((unsigned char)pair[1])) return false;
    if (i < 5 && pair[2] != ':' && pair[2] != '-') return false;
    char hex[3] = {pair[0], pair[1], '\0'};
    mac[i] = (uint8_t)strtoul(hex, nullptr, 16);
  }
  return true;
}

bool is_dotted_quad(const std::string &text) {
  struct in_addr addr;
  return inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

// Checks one data row's cells and fills row; every problem goes to problems.
void check_row(const std::vector<std::string> &cell, const int *columnOf, int line,
               Problems *problems, PlanRow *row) {
  auto value = [&](Column c) { return columnOf[c] < 0 ? std::string() : cell[columnOf[c]]; };
  row->line = line;
  const std::string mac = value(COL_MAC);
  if (mac.empty())
    problems->add(line, "mac: required");
  else if (!parse_plan_mac(mac, row->mac))
    problems->add(line, "mac: '" + display_escape(mac) +
                            "' is not a MAC address (six hex pairs separated by ':')");
  else if (row->mac[0] & 1)
    problems->add(line, "mac: " + mac + " is a group address, not a camera's");

  PlannedSettings &p = row->planned;
  p.netmask = value(COL_NETMASK);
  if (!p.netmask.empty() && !search_netmask_is_usable(p.netmask.c_str()))
    problems->add(line, "netmask: '" + display_escape(p.netmask) +
                            "' is not a netmask the camera takes (contiguous, not /0 or /32)");
  // The camera judges the address and the gateway under the netmask it is given.
  const char *mask = search_netmask_is_usable(p.netmask.c_str()) ? p.netmask.c_str() : "";
  auto check_host = [&](Column c, std::string *out) {
    *out = value(c);
    if (out->empty()) return false;
    const std::string shown = "'" + display_escape(*out) + "'";
    if (!is_dotted_quad(*out)) {
      problems->add(line, std::string(kPlanColumns[c]) + ": " + shown +
                              " is not an IPv4 address (a.b.c.d)");
      return false;
    }
    if (!search_host_address_is_usable(out->c_str(), mask)) {
      problems->add(line, std::string(kPlanColumns[c]) + ": " + *out +
                              " is not an address the camera takes (network, broadcast, "
                              "loopback, multicast or reserved)");
      return false;
    }
    return true;
  };
  p.ip = value(COL_IP);
  if (p.ip.empty())
    problems->add(line, "ip: required");
  const bool ipUsable = check_host(COL_IP, &p.ip);
  if (check_host(COL_GATEWAY, &p.gateway) && ipUsable && mask[0] &&
      !search_gateway_in_subnet(p.gateway.c_str(), p.ip.c_str(), mask))
    problems->add(line, "gateway: " + p.gateway + " is outside the subnet of " + p.ip + "/" +
                            p.netmask);
  p.dns = value(COL_DNS);
  if (!p.dns.empty() && !is_dotted_quad(p.dns))
    problems->add(line, "dns: '" + display_escape(p.dns) + "' is not an IPv4 address (a.b.c.d)");

  const std::string port = value(COL_HTTP_PORT);
  if (!port.empty()) {
    bool digits = port.size() <= 5;
    for (char c : port) digits = digits && isdigit((unsigned char)c);
    long number = digits ? strtol(port.c_str(), nullptr, 10) : 0;
    if (number < 1 || number > 65535)
      problems->add(line, "http_port: '" + display_escape(port) + "' is not a port (1 to 65535)");
    else
      p.httpPort = number;
  }
  p.title = value(COL_TITLE);
  if (p.title.size() >= SEARCH_FIELD_SIZE)
    problems->add(line, "title: " + std::to_string(p.title.size()) +
                            " bytes, the camera takes at most " +
                            std::to_string(SEARCH_FIELD_SIZE - 1));
  else if (!p.title.empty() && !search_title_is_valid(p.title.c_str()))
    problems->add(line, "title: holds ';' or a control byte, which the camera does not take");
}

std::string mac_text(const uint8_t mac[6]) {
  char text[18];
  format_mac(text, mac);
  return text;
}

}  // namespace

bool read_site_plan(const std::string &text, const std::string &name, SitePlan *plan,
                    std::vector<std::string> *errors) {
  Problems problems{name, errors};
  const size_t errorsBefore = errors->size();
  plan->rows.clear();
  int columnOf[COLUMN_COUNT];
  for (int &c : columnOf) c = -1;
  size_t columnCount = 0;
  bool haveHeader = false;
  std::map<std::string, int> lineOfMac, lineOfIp;
  size_t start = 0;
  // A spreadsheet's UTF-8 byte order mark is not part of the first column's name.
  if (text.compare(0, 3, "\xef\xbb\xbf") == 0) start = 3;
  for (int line = 1; start < text.size(); line++) {
    size_t end = text.find('\n', start);
    std::string raw = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string content = trimmed(raw);
    if (content.empty() || content[0] == '#') continue;
    std::vector<std::string> cells;
    std::string why;
    // A NUL would end a cell early wherever it is read as C text (an address, say).
    if (raw.find('\0') != std::string::npos) why = "holds a NUL byte, which no cell may";
    if (!why.empty() || !split_cells(raw, &cells, &why)) {
      problems.add(line, why);
      if (!haveHeader) return false;  // the next line is no header either
      continue;
    }
    if (!haveHeader) {
      haveHeader = true;
      columnCount = cells.size();
      for (size_t i = 0; i < cells.size(); i++) {
        int known = -1;
        for (int c = 0; c < COLUMN_COUNT; c++)
          if (strcasecmp(cells[i].c_str(), kPlanColumns[c]) == 0) known = c;
        if (known < 0)
          problems.add(line, "unknown column '" + display_escape(cells[i]) +
                                 "' (columns: mac, ip, netmask, gateway, dns, http_port, title)");
        else if (columnOf[known] >= 0)
          problems.add(line, std::string("column '") + kPlanColumns[known] + "' twice");
        else
          columnOf[known] = (int)i;
      }
      for (Column required : {COL_MAC, COL_IP})
        if (columnOf[required] < 0)
          problems.add(line, std::string("no '") + kPlanColumns[required] + "' column");
      if (errors->size() != errorsBefore) return false;  // rows cannot be read without it
      continue;
    }
    if (cells.size() != columnCount) {
      problems.add(line, std::to_string(cells.size()) + " cells, the header has " +
                             std::to_string(columnCount));
      continue;
    }
    if (plan->rows.size() == SitePlan::kMaxRows) {
      problems.add(line, "more than " + std::to_string(SitePlan::kMaxRows) + " cameras");
      break;
    }
    PlanRow row;
    size_t before = errors->size();
    check_row(cells, columnOf, line, &problems, &row);
    if (errors->size() != before) continue;
    auto seen = [&](std::map<std::string, int> &lines, const std::string &key,
                    const std::string &what) {
      auto known = lines.emplace(key, line);
      if (!known.second)
        problems.add(line, what + " " + key + ": also on line " + std::to_string(known.first->second));
      return !known.second;
    };
    bool twice = seen(lineOfMac, mac_text(row.mac), "mac");
    twice = seen(lineOfIp, row.planned.ip, "ip") || twice;
    if (!twice) plan->rows.push_back(row);
  }
  if (!haveHeader)
    problems.add(0, "no header line (mac,ip,...)");
  else if (errors->size() == errorsBefore && plan->rows.empty())
    problems.add(0, "no camera rows");
  return errors->size() == errorsBefore;
}
