/* Lists the top-level folders of one mailbox with the size of each folder's
 * tree, as a service written in C would: through the store's flat interface.
 *
 *   cc list_inbox.c $(pkg-config --cflags --libs twstore) -o list_inbox
 *   TW_REGISTRY_FILE=/etc/tarnwick/registry.reg ./list_inbox POSTOFFICE MAILBOX
 *
 * Prints one line per folder, "BYTES<TAB>NAME", then "BYTES<TAB>total".
 * Exit codes: 0 listed, 1 the library did not start, 2 usage. */
#include <stdio.h>
#include <string.h>

#include <twstore.h>

/* Copies `text` into a record field; refuses what does not fit, since a cut
 * name would name another folder. */
static int SetField(char* field, size_t capacity, const char* text) {
  const size_t length = strlen(text);
  if (length >= capacity) return 0;
  memcpy(field, text, length + 1);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s POSTOFFICE MAILBOX\n", argv[0]);
    return 2;
  }
  /* Records are large (2,576 bytes); static keeps them off a small stack. */
  static FolderRecord search;
  static FolderRecord sized;
  memset(&search, 0, sizeof search);
  if (!SetField(search.postoffice, sizeof search.postoffice, argv[1]) ||
      !SetField(search.mailbox, sizeof search.mailbox, argv[2])) {
    fprintf(stderr, "%s: a name is too long\n", argv[0]);
    return 2;
  }
  /* The mailbox's top level: path "\" and no name. */
  SetField(search.path, sizeof search.path, "\\");

  if (StoreLibrary_Init() != 1) {
    fprintf(stderr, "%s: the store library did not start\n", argv[0]);
    return 1;
  }
  unsigned long long total = 0;
  for (uint32_t more = StoreFolderFindFirst(&search); more != 0; more = StoreFolderFindNext(&search)) {
    /* A folder is sized through a record whose path names it. */
    sized = search;
    char path[sizeof sized.path];
    if (snprintf(path, sizeof path, "\\%s", search.name) >= (int)sizeof path) continue;
    SetField(sized.path, sizeof sized.path, path);
    sized.name[0] = '\0';
    sized.total = 0;
    StoreFolderGet(&sized);
    total += sized.total;
    printf("%u\t%s\n", (unsigned)sized.total, search.name);
  }
  StoreFolderFindClose(&search);
  printf("%llu\ttotal\n", total);
  StoreLibrary_UnInit();
  return 0;
}
