#include "chunk_writer.h"

void MakeChunkName(const char* name, char out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = '_';
  if (!name) return;
  for (int i = 0; i < 4 && name[i] != '\0'; ++i) out[i] = name[i];
}
