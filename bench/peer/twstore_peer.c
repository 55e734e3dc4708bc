/* The store's side of the peer benchmark (run.sh): each command is what a
 * mail service does through the exported C interface, in a process of its
 * own, so that run.sh can time it from outside. The store is postoffice
 * "PO", mailbox "peer", folder "\Inbox"; the registry named by
 * TW_REGISTRY_FILE points the store at ROOT.
 *
 *   twstore_peer empty
 *       nothing: the process start-up that run.sh subtracts
 *   twstore_peer generate INBOX MAILDIR FROM COUNT
 *       messages FROM..FROM+COUNT-1 as INBOX/XXXXXXXX.MAI and, byte for byte
 *       the same, as Maildir files in MAILDIR/cur
 *   twstore_peer message N FILE
 *       message N written to FILE
 *   twstore_peer rebuild INBOX
 *       StoreIndex_Open mode 2 (rebuild from the files, write, load)
 *   twstore_peer list INBOX
 *       open the folder and print UID, flags, date, from, subject and size
 *       of every message (IDs from a listing of the folder's *.MAI files)
 *   twstore_peer flag ID CHANGE
 *       Direct_StoreIndex_UpdateItem with CHANGE (e.g. "+\FLAGGED")
 *   twstore_peer append INBOX FILE
 *       FILE's bytes to a temporary file in the folder, renamed to the next
 *       free XXXXXXXX.MAI name, then Direct_StoreIndex_InsertItemEx
 *   twstore_peer expunge INBOX ID
 *       Direct_StoreIndex_RemoveItem, then the file is deleted
 *   twstore_peer warm INBOX REPEATS FLAG_ID APPEND_FILE
 *       one warm process: a full load of a fresh record (with resident bytes
 *       per item), REPEATS reopens of that unchanged record, REPEATS flag
 *       changes of FLAG_ID alternating + and -, REPEATS appends of
 *       APPEND_FILE; one line per operation with median and max in ms
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "twstore.h"

static const char kPostoffice[] = "PO";
static const char kMailbox[] = "peer";
static const char kFolder[] = "\\Inbox";

enum { kMostRepeats = 100000, kMostMessage = 1 << 20 };

/* ---- Messages --------------------------------------------------------- */

/* xorshift64*: the same stream for message N on every run. */
typedef struct Dice {
  uint64_t state;
} Dice;

static Dice DiceFor(uint64_t n) {
  Dice d = {n * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull};
  return d;
}

static uint32_t Roll(Dice* d, uint32_t below) {
  d->state ^= d->state >> 12;
  d->state ^= d->state << 25;
  d->state ^= d->state >> 27;
  return (uint32_t)((d->state * 0x2545F4914F6CDD1Dull) >> 32) % below;
}

typedef struct Text {
  char* data;
  size_t size, capacity;
} Text;

static void Add(Text* t, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void Add(Text* t, const char* format, ...) {
  for (;;) {
    va_list args;
    va_start(args, format);
    const int wrote = vsnprintf(t->data + t->size, t->capacity - t->size, format, args);
    va_end(args);
    if (wrote < 0) abort();
    if ((size_t)wrote < t->capacity - t->size) {
      t->size += (size_t)wrote;
      return;
    }
    t->capacity = (t->capacity + (size_t)wrote) * 2;
    t->data = realloc(t->data, t->capacity);
    if (t->data == NULL) abort();
  }
}

static const char* Pick(Dice* d, const char* const* words, uint32_t count) { return words[Roll(d, count)]; }

static void AddDate(Text* t, Dice* d) {
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  Add(t, "%s, %u %s 2026 %02u:%02u:%02u +0000", Pick(d, kDays, 7), 1 + Roll(d, 28), Pick(d, kMonths, 12),
      Roll(d, 24), Roll(d, 60), Roll(d, 60));
}

static void AddAddress(Text* t, Dice* d) {
  static const char* const kNames[] = {"Jane Sender", "Bob Miller", "Ana Lopez", "Wei Chen",
                                       "Olga Ivanova", "Sam Okafor", "Priya Nair", "Tom Berg"};
  static const char* const kDomains[] = {"example.com", "example.org", "mail.example.net", "corp.example.co.uk"};
  const char* name = Pick(d, kNames, 8);
  char local[64];
  size_t i = 0;
  for (; name[i] != '\0' && i + 1 < sizeof local; ++i) local[i] = name[i] == ' ' ? '.' : (char)(name[i] | 0x20);
  local[i] = '\0';
  Add(t, "\"%s\" <%s%u@%s>", name, local, Roll(d, 5000), Pick(d, kDomains, 4));
}

static void AddHex(Text* t, Dice* d, int digits) {
  for (int i = 0; i < digits; ++i) Add(t, "%x", Roll(d, 16));
}

/* Message n, CRLF line ends (the store's own format; Dovecot reads it as
 * it is): 1.7 to 4 KB, 2 to 5 Received lines, the usual addressing
 * headers and a short plain body filled up to the message's size. */
static Text Message(uint64_t n) {
  static const char* const kTopics[] = {"Quarterly figures", "Meeting notes", "Invoice", "Travel plans",
                                        "Release schedule", "Budget review", "Support ticket", "Lunch on Friday"};
  Dice d = DiceFor(n + 1);
  Text t = {malloc(8192), 0, 8192};
  if (t.data == NULL) abort();
  const uint32_t target = 1700 + Roll(&d, 2250);
  Add(&t, "Return-Path: <bounce-");
  AddHex(&t, &d, 10);
  Add(&t, "@lists.example.org>\r\n");
  for (uint32_t i = 0, hops = 2 + Roll(&d, 4); i < hops; ++i) {
    Add(&t, "Received: from relay%u.example.net (relay.example.net [198.51.100.%u])\r\n\tby mx%u.example.org "
            "with ESMTPS id ", Roll(&d, 90), Roll(&d, 250), Roll(&d, 9));
    AddHex(&t, &d, 12);
    Add(&t, "\r\n\tfor <inbox@example.com>; ");
    AddDate(&t, &d);
    Add(&t, "\r\n");
  }
  Add(&t, "From: ");
  AddAddress(&t, &d);
  Add(&t, "\r\nTo: ");
  for (uint32_t i = 0, count = 1 + Roll(&d, 3); i < count; ++i) {
    if (i > 0) Add(&t, ",\r\n\t");
    AddAddress(&t, &d);
  }
  if (Roll(&d, 3) == 0) {
    Add(&t, "\r\nCc: ");
    AddAddress(&t, &d);
  }
  Add(&t, "\r\nSubject: %s%s, number %llu\r\nDate: ", Roll(&d, 2) ? "Re: " : "", Pick(&d, kTopics, 8),
      (unsigned long long)n);
  AddDate(&t, &d);
  Add(&t, "\r\nMessage-ID: <");
  AddHex(&t, &d, 24);
  Add(&t, ".%llu@mail.example.org>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
          "X-Mailer: Example Mailer 16.%u\r\n\r\n", (unsigned long long)n, Roll(&d, 9));
  for (uint32_t line = 0; t.size < target; ++line)
    Add(&t, "Line %u of the note: the figures for region %u are in the shared folder.\r\n", line, Roll(&d, 40));
  return t;
}

static int WriteFile(const char* path, const char* data, size_t size) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = write(fd, data + done, size - done);
    if (wrote <= 0) break;
    done += (size_t)wrote;
  }
  return close(fd) == 0 && done == size;
}

/* A Maildir name as Dovecot's own delivery makes one: the time stamp
 * orders the messages as the store's names do, S= is the size and W= the
 * size with CRLF line ends (the same: the files have CRLF already). */
static int Generate(const char* inbox, const char* maildir, uint64_t from, uint64_t count) {
  char path[4096];
  for (uint64_t n = from; n < from + count; ++n) {
    Text t = Message(n);
    snprintf(path, sizeof path, "%s/%08llX.MAI", inbox, (unsigned long long)n);
    int ok = WriteFile(path, t.data, t.size);
    snprintf(path, sizeof path, "%s/cur/%llu.M%lluP1.bench,S=%zu,W=%zu:2,", maildir,
             1700000000ull + n, (unsigned long long)n, t.size, t.size);
    ok = ok && WriteFile(path, t.data, t.size);
    free(t.data);
    if (!ok) {
      fprintf(stderr, "twstore_peer: cannot write %s: %s\n", path, strerror(errno));
      return 1;
    }
  }
  return 0;
}

/* ---- Store calls ------------------------------------------------------ */

static double Now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static STOREINDEXTYPE* NewRecord(void) {
  STOREINDEXTYPE* record = calloc(1, sizeof *record);
  if (record == NULL || !StoreIndex_Init(record)) abort();
  snprintf(record->postoffice, sizeof record->postoffice, "%s", kPostoffice);
  snprintf(record->mailbox, sizeof record->mailbox, "%s", kMailbox);
  snprintf(record->folder, sizeof record->folder, "%s", kFolder);
  if (!StoreIndex_SetPaths(record)) abort();
  return record;
}

static void EndRecord(STOREINDEXTYPE* record) {
  StoreIndex_Release(record);
  free(record);
}

static int IsMessageName(const char* name) {
  const size_t length = strlen(name);
  return length == 12 && strcasecmp(name + 8, ".MAI") == 0;
}

/* The folder's *.MAI names, for the walk by ID (the store has no exported
 * item walk yet). */
static char** MessageNames(const char* inbox, size_t* count) {
  DIR* dir = opendir(inbox);
  if (dir == NULL) return NULL;
  size_t capacity = 1024;
  char** names = malloc(capacity * sizeof *names);
  *count = 0;
  for (struct dirent* entry; names != NULL && (entry = readdir(dir)) != NULL;) {
    if (!IsMessageName(entry->d_name)) continue;
    if (*count == capacity) {
      capacity *= 2;
      names = realloc(names, capacity * sizeof *names);
      if (names == NULL) break;
    }
    names[(*count)++] = strdup(entry->d_name);
  }
  closedir(dir);
  return names;
}

static int Rebuild(void) {
  STOREINDEXTYPE* record = NewRecord();
  const uint32_t result = StoreIndex_Open(record, 2);
  const uint32_t items = record->itemCount;
  EndRecord(record);
  if (result == 0) fprintf(stderr, "twstore_peer: rebuild failed\n");
  return result == 0 ? 1 : (items == 0);
}

static int List(const char* inbox) {
  STOREINDEXTYPE* record = NewRecord();
  if (StoreIndex_Open(record, 1) == 0) {
    fprintf(stderr, "twstore_peer: open failed\n");
    return 1;
  }
  size_t count = 0;
  char** names = MessageNames(inbox, &count);
  if (names == NULL) return 1;
  StoreItemRecord* item = malloc(sizeof *item);
  size_t listed = 0;
  for (size_t i = 0; i < count; ++i) {
    if (GetStoreItemByMessageID(record, names[i], 1, item)) {
      printf("%u\t%s\t%s\t%s\t%s\t%u\n", item->uid, item->flags, item->received, item->from, item->subject,
             item->size);
      ++listed;
    }
    free(names[i]);
  }
  free(names);
  free(item);
  const uint32_t items = record->itemCount;
  EndRecord(record);
  if (listed != items) fprintf(stderr, "twstore_peer: listed %zu of %u items\n", listed, items);
  return listed == items ? 0 : 1;
}

static int Flag(const char* id, const char* change) {
  return Direct_StoreIndex_UpdateItem(kPostoffice, kMailbox, kFolder, id, change) == 1 ? 0 : 1;
}

static char* ReadWhole(const char* path, size_t* size) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return NULL;
  char* data = malloc(kMostMessage);
  ssize_t got = data == NULL ? -1 : read(fd, data, kMostMessage);
  close(fd);
  if (got <= 0 || got == kMostMessage) {
    free(data);
    return NULL;
  }
  *size = (size_t)got;
  return data;
}

/* Where the next message name is looked for: past the highest name this
 * process handed out; the first call starts from the clock, as deliveries
 * spread their names. */
static uint32_t nextName;

static int Append(const char* inbox, const char* data, size_t size) {
  char temporary[4096], final[4096], name[16];
  snprintf(temporary, sizeof temporary, "%s/peer%ld.tmp", inbox, (long)getpid());
  if (!WriteFile(temporary, data, size)) return 1;
  if (nextName == 0) nextName = (uint32_t)time(NULL);
  for (;; ++nextName) {
    snprintf(name, sizeof name, "%08X.MAI", nextName);
    snprintf(final, sizeof final, "%s/%s", inbox, name);
    struct stat st;
    if (lstat(final, &st) != 0) break;
  }
  ++nextName;
  if (rename(temporary, final) != 0) return 1;
  return Direct_StoreIndex_InsertItemEx(kPostoffice, kMailbox, kFolder, name, "") == 1 ? 0 : 1;
}

static int AppendFile(const char* inbox, const char* file) {
  size_t size = 0;
  char* data = ReadWhole(file, &size);
  if (data == NULL) return 1;
  const int result = Append(inbox, data, size);
  free(data);
  return result;
}

static int Expunge(const char* inbox, const char* id) {
  if (Direct_StoreIndex_RemoveItem(kPostoffice, kMailbox, kFolder, id) != 1) return 1;
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", inbox, id);
  return unlink(path) == 0 ? 0 : 1;
}

/* ---- The warm process ------------------------------------------------- */

static long ResidentBytes(void) {
  FILE* file = fopen("/proc/self/statm", "r");
  long size = 0, resident = 0;
  if (file == NULL) return 0;
  if (fscanf(file, "%ld %ld", &size, &resident) != 2) resident = 0;
  fclose(file);
  return resident * sysconf(_SC_PAGESIZE);
}

static int ByValue(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static void Report(const char* what, double* took, long times) {
  qsort(took, (size_t)times, sizeof *took, ByValue);
  printf("warm\t%s\t%.3f\t%.3f\t%ld\n", what, took[times / 2] * 1e3, took[times - 1] * 1e3, times);
}

static int Warm(const char* inbox, long times, const char* flagId, const char* appendFile) {
  double* took = malloc((size_t)times * sizeof *took);
  size_t size = 0;
  char* message = ReadWhole(appendFile, &size);
  if (took == NULL || message == NULL) return 1;
  int failed = 0;

  const long before = ResidentBytes();
  STOREINDEXTYPE* record = NewRecord();
  double start = Now();
  failed |= StoreIndex_Open(record, 1) != 1;
  double load = Now() - start;
  const long after = ResidentBytes();
  const uint32_t items = record->itemCount;
  printf("warm\tload\t%.3f\t%.3f\t1\n", load * 1e3, load * 1e3);
  printf("warm\tresident\t%ld\t%u\t%.0f\n", after - before, items, items ? (double)(after - before) / items : 0.0);

  for (long i = 0; i < times; ++i) {
    start = Now();
    failed |= StoreIndex_Open(record, 1) != 2;
    took[i] = Now() - start;
  }
  Report("reopen", took, times);

  for (long i = 0; i < times; ++i) {
    start = Now();
    failed |= Flag(flagId, i % 2 == 0 ? "+\\FLAGGED" : "-\\FLAGGED");
    took[i] = Now() - start;
  }
  Report("flag", took, times);

  for (long i = 0; i < times; ++i) {
    start = Now();
    failed |= Append(inbox, message, size);
    took[i] = Now() - start;
  }
  Report("append", took, times);

  EndRecord(record);
  free(message);
  free(took);
  if (failed) fprintf(stderr, "twstore_peer: a warm call failed\n");
  return failed;
}

/* ---- Commands ---------------------------------------------------------- */

static int Number(const char* text, uint64_t most, uint64_t* value) {
  char* end = NULL;
  errno = 0;
  const unsigned long long parsed = strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed > most) return 0;
  *value = parsed;
  return 1;
}

static int Usage(void) {
  fprintf(stderr,
          "usage: twstore_peer empty\n"
          "       twstore_peer generate INBOX MAILDIR FROM COUNT\n"
          "       twstore_peer message N FILE\n"
          "       twstore_peer rebuild|list INBOX\n"
          "       twstore_peer flag ID CHANGE\n"
          "       twstore_peer append INBOX FILE\n"
          "       twstore_peer expunge INBOX ID\n"
          "       twstore_peer warm INBOX REPEATS FLAG_ID APPEND_FILE\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* command = argv[1];
  uint64_t a = 0, b = 0;
  if (strcmp(command, "empty") == 0 && argc == 2) return 0;
  if (strcmp(command, "generate") == 0 && argc == 6 && Number(argv[4], 0xFFFFFFFFull, &a) &&
      Number(argv[5], 0xFFFFFFFFull - a, &b))
    return Generate(argv[2], argv[3], a, b);
  if (strcmp(command, "message") == 0 && argc == 4 && Number(argv[2], 0xFFFFFFFFull, &a)) {
    Text t = Message(a);
    const int ok = WriteFile(argv[3], t.data, t.size);
    free(t.data);
    return ok ? 0 : 1;
  }
  if (strcmp(command, "rebuild") == 0 && argc == 3) return Rebuild();
  if (strcmp(command, "list") == 0 && argc == 3) return List(argv[2]);
  if (strcmp(command, "flag") == 0 && argc == 4) return Flag(argv[2], argv[3]);
  if (strcmp(command, "append") == 0 && argc == 4) return AppendFile(argv[2], argv[3]);
  if (strcmp(command, "expunge") == 0 && argc == 4) return Expunge(argv[2], argv[3]);
  if (strcmp(command, "warm") == 0 && argc == 6 && Number(argv[3], kMostRepeats, &a) && a > 0)
    return Warm(argv[2], (long)a, argv[4], argv[5]);
  return Usage();
}
