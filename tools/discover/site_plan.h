// A site plan: the settings an installer gives each camera, one CSV row per camera,
// found by its MAC. Read and checked whole before anything is sent: every problem is
// reported as "PLAN:LINE: what is wrong", and a plan with any problem is not used.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// What a row asks of its camera. An empty text (or httpPort -1) is a missing column or
// an empty cell: the camera keeps its value.
struct PlannedSettings {
  std::string ip, netmask, gateway, dns, title;
  long httpPort = -1;
};

struct PlanRow {
  int line = 0;        // in the plan file, from 1
  uint8_t mac[6] = {0};
  PlannedSettings planned;
};

struct SitePlan {
  // No more rows than a search can list cameras.
  static constexpr size_t kMaxRows = 4096;
  std::vector<PlanRow> rows;
};

// The plan's columns, in the order the tool shows them.
extern const char *const kPlanColumns[];

// Reads the text of a plan named name (the file name, for messages). Returns true when
// it is sound; otherwise errors holds one line per problem and plan must not be used.
bool read_site_plan(const std::string &text, const std::string &name, SitePlan *plan,
                    std::vector<std::string> *errors);
