// Entry point of the diagnostic tool: debug -M <module> [options].
#include "osa.h"
#include "test.h"

int main(int argc, char **argv) {
  if (test_init() != 0) {
    OSA_error("test", __func__, __LINE__, "test_init failed!\n");
    return test_exit();
  }
  test_dispatch(argc, argv);
  return test_exit();
}
