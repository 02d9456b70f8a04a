// The cameras a discovery run heard, and the forms discover prints them in: a table for
// people, JSON for scripts, and the raw reply lines. Every text that came from the
// network passes through display_escape before it is printed, in every form.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

// One camera as its reply describes it. Numbers the reply did not carry (or carried
// as something else than a number) are -1; texts it did not carry are empty.
struct Camera {
  uint8_t mac[6];
  std::string ip, netmask, gateway, dns, model, firmware, serial, title, name;
  long httpPort = -1, uptime = -1, dhcp = -1;
  std::string rawText;   // the reply text as received, for --raw
  bool badChecksum = false;  // UDP replies carry a checksum
};

// Reads the twelve ';'-separated fields of a raw search or modify reply text
// (IP;HTTP port;netmask;gateway;DNS;model;firmware;serial;title;name;uptime;DHCP).
// A title holding ';' makes more than twelve pieces: the first eight and the last
// three keep their places and the title takes what lies between.
void camera_from_reply_text(Camera *camera, const uint8_t mac[6], const char *text);

// Reads a 114-byte UDP search reply (MAC, addresses, name, firmware).
void camera_from_udp_reply(Camera *camera, const uint8_t *reply);

// Printable ASCII as it is; a backslash as "\\"; every other byte (control bytes,
// escape sequences, bytes above 0x7e) as "\xNN". Nothing it returns can steer a terminal.
std::string display_escape(const std::string &text);

// A JSON string literal of display_escape(text): scripts see the same safe text.
std::string json_string(const std::string &text);

void format_mac(char out[18], const uint8_t *mac);

// The cameras heard so far: one entry per MAC (a camera that answers twice, or
// announces itself during the search, is listed once, with its latest reply). Replies
// are forgeable, so the list is bounded: past kMaxCameras new MACs are dropped.
struct CameraList {
  static constexpr size_t kMaxCameras = 4096;
  std::vector<Camera> cameras;
  // Adds or replaces; returns true when the MAC is new and was added.
  bool add(const Camera &camera);
  // By IP address (numerically; texts that are no address go last), then by MAC.
  void sort_by_ip();
};

enum OutputForm { OUTPUT_TABLE, OUTPUT_JSON, OUTPUT_RAW };

// How many of cameras answer at each IP address (texts as reported).
std::map<std::string, size_t> cameras_at_ip(const std::vector<Camera> &cameras);

// A table, one camera a line; an IP that several cameras answer at is marked
// "IP (N cameras)". JSON gives each camera's "cameras_at_ip" count (1 when alone).
void print_table(FILE *out, const std::vector<Camera> &cameras);
void print_json(FILE *out, const std::vector<Camera> &cameras);
// One line per camera: "MAC TEXT", TEXT the escaped reply text.
void print_raw(FILE *out, const std::vector<Camera> &cameras);
void print_cameras(FILE *out, OutputForm form, const std::vector<Camera> &cameras);

// A camera's answer to a modify request, in words: whether it took the change and the
// settings it reports now (one "name: value" line each).
void print_modify_answer(FILE *out, OutputForm form, const Camera &camera, bool accepted,
                         const std::string &resultText);
