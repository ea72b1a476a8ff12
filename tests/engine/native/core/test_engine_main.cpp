// The engine with the test formats: the real command line, channel and writer.
#include "engine.h"
#include "test_formats.h"

int main(int argc, char** argv) {
  size_t count = 0;
  const kes::Format* table = kes_test::test_format_table(&count);
  return kes::engine_main(argc, argv, table, count);
}
