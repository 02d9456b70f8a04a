// The module registry and the usage printers.
#include <ctype.h>
#include <limits.h>
#include <string.h>
#include <strings.h>

#include "osa.h"
#include "test.h"

// Constant-initialised, so modules can register from static constructors that run
// before anything else in this file.
static TestModule gModules[TEST_MAX_MODULES];
static unsigned gModuleCount;

static int find_slot(const char *name) {
  for (int i = 0; i < TEST_MAX_MODULES; i++) {
    if (gModules[i].name != nullptr && strcasecmp(gModules[i].name, name) == 0) return i;
  }
  return -1;
}

void test_register(const TestModule *module) {
  if (module == nullptr || module->name == nullptr) return;
  if (find_slot(module->name) >= 0 || gModuleCount >= TEST_MAX_MODULES) return;

  // After every registered record of the same or a lower id.
  unsigned pos = gModuleCount;
  for (unsigned i = 0; i < gModuleCount; i++) {
    if (gModules[i].id > module->id) {
      pos = i;
      break;
    }
  }
  for (unsigned i = gModuleCount; i > pos; i--) gModules[i] = gModules[i - 1];
  gModules[pos] = *module;
  gModuleCount++;
}

void test_unregister(const TestModule *module) {
  if (module == nullptr || module->name == nullptr) return;
  int slot = find_slot(module->name);
  if (slot < 0) return;
  // Slots are not moved up: this only runs while the program unloads.
  memset(&gModules[slot], 0, sizeof gModules[slot]);
  gModuleCount--;
}

const TestModule *test_find(const char *name) {
  if (name == nullptr) return nullptr;
  int slot = find_slot(name);
  return slot < 0 ? nullptr : &gModules[slot];
}

unsigned test_module_count(void) { return gModuleCount; }

const TestModule *test_module_at(unsigned slot) {
  return slot < gModuleCount ? &gModules[slot] : nullptr;
}

// Dispatch matches names exactly, unlike registration.
static const TestModule *find_exact(const char *name) {
  if (name == nullptr) return nullptr;
  for (unsigned i = 0; i < gModuleCount; i++) {
    if (gModules[i].name != nullptr && strcmp(gModules[i].name, name) == 0) return &gModules[i];
  }
  return nullptr;
}

int test_run(const char *name, int argc, char **argv) {
  const TestModule *module = find_exact(name);
  if (module != nullptr && module->run != nullptr) module->run(argc, argv);
  return 0;
}

int test_help(const char *name) {
  const TestModule *module = find_exact(name);
  if (module != nullptr && module->help != nullptr) module->help();
  return 0;
}

void test_deinit_all(void) {
  for (unsigned i = 0; i < gModuleCount; i++) {
    if (gModules[i].name != nullptr && gModules[i].deinit != nullptr) gModules[i].deinit();
  }
}

static const TestModule *find_by_id(uint32_t id) {
  for (unsigned i = 0; i < gModuleCount; i++) {
    if (gModules[i].name != nullptr && gModules[i].id == id) return &gModules[i];
  }
  return nullptr;
}

void test_list_modules(uint32_t id) {
  OSA_printf("modules name:\n");
  if (id < TEST_ALL_MODULES) {
    const TestModule *module = find_by_id(id);
    if (module != nullptr) OSA_printf("\t%s\n", module->name);
    return;
  }
  unsigned printed = 0;
  for (unsigned i = 0; i < gModuleCount; i++) {
    if (gModules[i].name == nullptr) continue;
    OSA_printf("\t%s", gModules[i].name);
    if (++printed % 8 == 0) OSA_printf("\n");
  }
  OSA_printf("\n");
}

void test_print_option_row(int shortValue, const char *longName, const char *arg,
                           const char *help, int emptyArgTabs) {
  // Long-only options carry values outside the character range.
  if (shortValue >= 0 && shortValue <= UCHAR_MAX && isalpha(shortValue))
    OSA_printf("-%c  ", shortValue);
  else
    OSA_printf("    ");
  OSA_printf("--%s", longName ? longName : "");
  if (arg != nullptr && arg[0] != '\0') {
    OSA_printf(" [%s]", arg);
    OSA_printf("\t%s\n", help ? help : "");
  } else {
    OSA_printf(emptyArgTabs == 2 ? "\t\t%s\n" : "\t%s\n", help ? help : "");
  }
}

static void print_stars(void) {
  OSA_printf("%s", "********************************************************************************");
}

void print_module_usage(uint32_t id, const ModuleOption *options, size_t count) {
  if (id >= TEST_ALL_MODULES) return;
  const TestModule *module = find_by_id(id);
  if (module == nullptr) return;  // no module to name in the heading
  print_stars();
  OSA_printf("\n%s usage:\n", module->name);
  OSA_printf("%s -M %s [option] \n", test_program_name(), module->name);
  for (size_t j = 0; j < count; j++)
    test_print_option_row(options[j].val, options[j].name, options[j].arg, options[j].help, 2);
  print_stars();
  OSA_printf("\n");
}
