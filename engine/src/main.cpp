// kessrv: carves the files of the enabled formats out of a volume or image.
#include "engine.h"
#include "format.h"

int main(int argc, char** argv) {
  size_t count = 0;
  const kes::Format* table = kes::format_table(&count);
  return kes::engine_main(argc, argv, table, count);
}
