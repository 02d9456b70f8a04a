/* devemu: plays the board's kernel devices for one program run, with umockdev.
 *
 *   devemu [OPTION...] -- PROGRAM [ARG...]
 *
 * Builds a umockdev testbed, starts PROGRAM under libumockdev-preload (so its opens of
 * /dev, /sys and /proc land in the testbed) and answers its device requests until it
 * ends; exits with PROGRAM's exit status (128 + signal when it was killed).
 *
 *   --i2c BUS                 an I2C bus, /dev/i2c-BUS
 *   --chip BUS:ADDR:RW        a register-file chip at 7-bit ADDR with RW-byte (1 or 2)
 *                             register addresses; 64 KiB of bytes, zero at start
 *   --poke BUS:ADDR:REG:HEX   preloads chip bytes from register REG (HEX: "0a1b...")
 *   --gyro BUS:IDENTITY       a motion sensor at 0x68: identity register 0x75, samples
 *                             at 0x11 (0x67, ICM-42670) or 0x25 (0x39, ICM-40608)
 *   --mtd N:BAD[:FAILAT]      /dev/mtdN; BAD is a comma list of bad block offsets in
 *                             the partition ("-" for none); MEMGETBADBLOCK at FAILAT
 *                             fails with EIO
 *   --proc-mtd FILE           /proc/mtd is a copy of FILE
 *   --iio CH=TEXT             /sys/bus/iio/devices/iio:device0/in_voltageCH_raw
 *   --log FILE                one line per bus transfer and device request
 *   --stamp                   log lines start with the milliseconds since start
 *
 * The chips answer the way the platform's I2C device does: an address is taken in its
 * 7-bit form or its 8-bit (shifted) form; a write sets the register pointer from its
 * first RW bytes and stores the rest there; a read returns bytes from the pointer on.
 * After request 0x0709 on a descriptor, a read() carries the register address in its
 * buffer (the platform's register-in-buffer read). A transfer to an address where no
 * chip answers fails with ENXIO.
 */
#include <errno.h>
#include <fcntl.h>
#include <glib.h>
#include <glib-unix.h>
#include <glib/gstdio.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/types.h>
#include <mtd/mtd-user.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#define MAX_CHIPS 16
#define MAX_BAD 1024
#define REQ_REG_WIDTH 0x0709
#define REQ_DATA_WIDTH 0x070a

typedef struct Chip {
  int bus;
  unsigned addr7;
  unsigned regWidth;
  unsigned pointer;
  guint8 mem[65536];
} Chip;

typedef struct Mtd {
  int index;
  guint64 bad[MAX_BAD];
  int badCount;
  gint64 failAt; /* -1: never */
} Mtd;

/* What one open descriptor has set. */
typedef struct ClientState {
  unsigned slave;
  int regInBuffer;   /* after REQ_REG_WIDTH: read() takes the register from its buffer */
  unsigned regBytes; /* register width of that read: 1 or 2 */
} ClientState;

static Chip *g_chips[MAX_CHIPS];
static int g_chipCount;
static FILE *g_busLog;
static GHashTable *g_clients;
static GMainLoop *g_loop;
static int g_childStatus = 1;
static int g_stampLines;     /* --stamp: lines start with milliseconds since start */
static int g_atLineStart = 1;
static gint64 g_startTime;

static void logf_(const char *fmt, ...) G_GNUC_PRINTF(1, 2);
static void logf_(const char *fmt, ...) {
  if (!g_busLog) return;
  if (g_stampLines && g_atLineStart)
    fprintf(g_busLog, "%.3f ", (double)(g_get_monotonic_time() - g_startTime) / 1000.0);
  size_t fmtLen = strlen(fmt);
  g_atLineStart = fmtLen > 0 && fmt[fmtLen - 1] == '\n';
  va_list args;
  va_start(args, fmt);
  vfprintf(g_busLog, fmt, args);
  va_end(args);
  fflush(g_busLog);
}

static void log_bytes(const guint8 *bytes, size_t len) {
  for (size_t i = 0; i < len; i++) logf_("%s%02x", i ? " " : "", bytes[i]);
}

static void die(const char *fmt, ...) G_GNUC_PRINTF(1, 2);
static void die(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  fprintf(stderr, "devemu: ");
  vfprintf(stderr, fmt, args);
  fprintf(stderr, "\n");
  va_end(args);
  exit(2);
}

static int bus_of_devnode(const char *devnode) {
  const char *dash = strrchr(devnode, '-');
  return dash ? atoi(dash + 1) : -1;
}

static const char *short_name(const char *devnode) {
  const char *slash = strrchr(devnode, '/');
  return slash ? slash + 1 : devnode;
}

static Chip *find_chip(int bus, unsigned addr) {
  for (int i = 0; i < g_chipCount; i++) {
    Chip *chip = g_chips[i];
    if (chip->bus == bus && (addr == chip->addr7 || addr == chip->addr7 << 1)) return chip;
  }
  return NULL;
}

static Chip *add_chip(int bus, unsigned addr7, unsigned regWidth) {
  if (g_chipCount == MAX_CHIPS) die("too many chips");
  if (regWidth != 1 && regWidth != 2) die("register width must be 1 or 2");
  Chip *chip = g_new0(Chip, 1);
  chip->bus = bus;
  chip->addr7 = addr7;
  chip->regWidth = regWidth;
  g_chips[g_chipCount++] = chip;
  return chip;
}

static unsigned reg_mask(unsigned width) { return width == 2 ? 0xffff : 0xff; }

static void chip_write(Chip *chip, const guint8 *bytes, size_t len) {
  if (len < chip->regWidth) return;
  unsigned reg = chip->regWidth == 2 ? (unsigned)(bytes[0] << 8 | bytes[1]) : bytes[0];
  chip->pointer = reg;
  for (size_t i = chip->regWidth; i < len; i++) {
    chip->mem[chip->pointer] = bytes[i];
    chip->pointer = (chip->pointer + 1) & reg_mask(chip->regWidth);
  }
}

static void chip_read(Chip *chip, guint8 *bytes, size_t len) {
  for (size_t i = 0; i < len; i++) {
    bytes[i] = chip->mem[chip->pointer];
    chip->pointer = (chip->pointer + 1) & reg_mask(chip->regWidth);
  }
}

static ClientState *client_state(UMockdevIoctlClient *client) {
  ClientState *state = g_hash_table_lookup(g_clients, client);
  if (!state) {
    state = g_new0(ClientState, 1);
    state->regBytes = 1;
    g_hash_table_insert(g_clients, g_object_ref(client), state);
  }
  return state;
}

static unsigned long value_arg(UMockdevIoctlData *arg) {
  unsigned long value = 0;
  memcpy(&value, arg->data, MIN(sizeof value, (size_t)arg->data_len));
  return value;
}

static const char *i2c_request_name(unsigned long request) {
  switch (request) {
    case I2C_RETRIES: return "I2C_RETRIES";
    case I2C_TIMEOUT: return "I2C_TIMEOUT";
    case I2C_SLAVE: return "I2C_SLAVE";
    case I2C_TENBIT: return "I2C_TENBIT";
    case I2C_SLAVE_FORCE: return "I2C_SLAVE_FORCE";
    case REQ_REG_WIDTH: return "REG_WIDTH";
    case REQ_DATA_WIDTH: return "DATA_WIDTH";
    default: return NULL;
  }
}

static gboolean i2c_rdwr(UMockdevIoctlClient *client, UMockdevIoctlData *arg, int bus,
                         const char *dev) {
  GError *error = NULL;
  UMockdevIoctlData *rdwr =
      umockdev_ioctl_data_resolve(arg, 0, sizeof(struct i2c_rdwr_ioctl_data), &error);
  if (!rdwr) die("I2C_RDWR: %s", error->message);
  struct i2c_rdwr_ioctl_data *request = (struct i2c_rdwr_ioctl_data *)rdwr->data;
  guint32 nmsgs = request->nmsgs;
  if (nmsgs == 0 || nmsgs > 42) {
    logf_("%s rdwr nmsgs=%u EINVAL\n", dev, nmsgs);
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return TRUE;
  }
  UMockdevIoctlData *msgData = umockdev_ioctl_data_resolve(
      rdwr, G_STRUCT_OFFSET(struct i2c_rdwr_ioctl_data, msgs), nmsgs * sizeof(struct i2c_msg),
      &error);
  if (!msgData) die("I2C_RDWR msgs: %s", error->message);
  struct i2c_msg *msgs = (struct i2c_msg *)msgData->data;
  logf_("%s rdwr", dev);
  long result = nmsgs;
  for (guint32 i = 0; i < nmsgs; i++) {
    Chip *chip = find_chip(bus, msgs[i].addr);
    if (!chip) {
      logf_(" 0x%02x nak", msgs[i].addr);
      result = -1;
      break;
    }
    if (msgs[i].len == 0) continue;
    UMockdevIoctlData *buf = umockdev_ioctl_data_resolve(
        msgData, i * sizeof(struct i2c_msg) + G_STRUCT_OFFSET(struct i2c_msg, buf), msgs[i].len,
        &error);
    if (!buf) die("I2C_RDWR buf: %s", error->message);
    if (msgs[i].flags & I2C_M_RD) {
      chip_read(chip, buf->data, msgs[i].len);
      logf_(" 0x%02x r[", msgs[i].addr);
    } else {
      chip_write(chip, buf->data, msgs[i].len);
      logf_(" 0x%02x w[", msgs[i].addr);
    }
    log_bytes(buf->data, msgs[i].len);
    logf_("]");
  }
  logf_("\n");
  umockdev_ioctl_client_complete(client, result, result < 0 ? ENXIO : 0);
  return TRUE;
}

static gboolean on_i2c_ioctl(UMockdevIoctlBase *base, UMockdevIoctlClient *client,
                             gpointer unused) {
  (void)base;
  (void)unused;
  const char *dev = short_name(umockdev_ioctl_client_get_devnode(client));
  int bus = bus_of_devnode(dev);
  unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
  ClientState *state = client_state(client);
  if (request == I2C_RDWR) return i2c_rdwr(client, arg, bus, dev);

  const char *name = i2c_request_name(request);
  unsigned long value = value_arg(arg);
  if (!name) {
    logf_("%s ioctl 0x%04lx ENOTTY\n", dev, request);
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
  }
  logf_("%s %s 0x%02lx\n", dev, name, value);
  if (request == I2C_SLAVE || request == I2C_SLAVE_FORCE) {
    if (value > 0x3ff) {
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return TRUE;
    }
    state->slave = (unsigned)value;
  } else if (request == REQ_REG_WIDTH) {
    state->regInBuffer = 1;
    state->regBytes = value ? 2 : 1;
  }
  umockdev_ioctl_client_complete(client, 0, 0);
  return TRUE;
}

/* A read() or write() on a bus: the device, its buffer, and the chip the descriptor's
 * slave address reaches (null when none answers). */
typedef struct BusCall {
  const char *dev;
  UMockdevIoctlData *arg;
  ClientState *state;
  Chip *chip;
} BusCall;

static BusCall bus_call(UMockdevIoctlClient *client) {
  BusCall call;
  call.dev = short_name(umockdev_ioctl_client_get_devnode(client));
  call.arg = umockdev_ioctl_client_get_arg(client);
  call.state = client_state(client);
  call.chip = find_chip(bus_of_devnode(call.dev), call.state->slave);
  return call;
}

static gboolean on_i2c_write(UMockdevIoctlBase *base, UMockdevIoctlClient *client,
                             gpointer unused) {
  (void)base;
  (void)unused;
  BusCall call = bus_call(client);
  logf_("%s write 0x%02x [", call.dev, call.state->slave);
  log_bytes(call.arg->data, (size_t)call.arg->data_len);
  if (!call.chip) {
    logf_("] nak\n");
    umockdev_ioctl_client_complete(client, -1, ENXIO);
    return TRUE;
  }
  logf_("]\n");
  chip_write(call.chip, call.arg->data, (size_t)call.arg->data_len);
  umockdev_ioctl_client_complete(client, call.arg->data_len, 0);
  return TRUE;
}

static gboolean on_i2c_read(UMockdevIoctlBase *base, UMockdevIoctlClient *client,
                            gpointer unused) {
  (void)base;
  (void)unused;
  BusCall call = bus_call(client);
  if (!call.chip) {
    logf_("%s read 0x%02x nak\n", call.dev, call.state->slave);
    umockdev_ioctl_client_complete(client, -1, ENXIO);
    return TRUE;
  }
  size_t len = (size_t)call.arg->data_len;
  if (call.state->regInBuffer) {
    /* The buffer brings the register address; the data replaces it. */
    guint8 reg[2] = {0, 0};
    memcpy(reg, call.arg->data, MIN(len, (size_t)call.state->regBytes));
    logf_("%s read 0x%02x reg[", call.dev, call.state->slave);
    log_bytes(reg, call.state->regBytes);
    logf_("] ");
    chip_write(call.chip, reg, call.state->regBytes);
  } else {
    logf_("%s read 0x%02x ", call.dev, call.state->slave);
  }
  chip_read(call.chip, call.arg->data, len);
  logf_("[");
  log_bytes(call.arg->data, len);
  logf_("]\n");
  umockdev_ioctl_client_complete(client, (glong)len, 0);
  return TRUE;
}

static gboolean on_mtd_ioctl(UMockdevIoctlBase *base, UMockdevIoctlClient *client,
                             gpointer data) {
  (void)base;
  Mtd *mtd = data;
  const char *dev = short_name(umockdev_ioctl_client_get_devnode(client));
  unsigned long request = umockdev_ioctl_client_get_request(client);
  if (request != MEMGETBADBLOCK) {
    logf_("%s ioctl 0x%08lx ENOTTY\n", dev, request);
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
  }
  GError *error = NULL;
  UMockdevIoctlData *offsData =
      umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, 8, &error);
  if (!offsData) die("MEMGETBADBLOCK: %s", error->message);
  gint64 offset;
  memcpy(&offset, offsData->data, 8);
  if (mtd->failAt >= 0 && offset == mtd->failAt) {
    logf_("%s MEMGETBADBLOCK 0x%" G_GINT64_MODIFIER "x EIO\n", dev, offset);
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
  }
  int bad = 0;
  for (int i = 0; i < mtd->badCount; i++) bad |= (gint64)mtd->bad[i] == offset;
  logf_("%s MEMGETBADBLOCK 0x%" G_GINT64_MODIFIER "x %s\n", dev, offset, bad ? "bad" : "good");
  umockdev_ioctl_client_complete(client, bad, 0);
  return TRUE;
}

static void add_node(UMockdevTestbed *tb, const char *subsystem, const char *name, int major,
                     int minor) {
  gchar *text = g_strdup_printf("P: /devices/virtual/%s/%s\nN: %s\nE: SUBSYSTEM=%s\n"
                                "A: dev=%d:%d\n",
                                subsystem, name, name, subsystem, major, minor);
  GError *error = NULL;
  if (!umockdev_testbed_add_from_string(tb, text, &error)) die("%s: %s", name, error->message);
  g_free(text);
}

static void attach(UMockdevTestbed *tb, const char *devnode, UMockdevIoctlBase *handler) {
  GError *error = NULL;
  if (!umockdev_testbed_attach_ioctl(tb, devnode, handler, &error))
    die("%s: %s", devnode, error->message);
}

static void write_testbed_file(UMockdevTestbed *tb, const char *path, const gchar *text,
                               gssize len) {
  gchar *root = umockdev_testbed_get_root_dir(tb);
  gchar *full = g_build_filename(root, path, NULL);
  gchar *dir = g_path_get_dirname(full);
  g_mkdir_with_parents(dir, 0755);
  GError *error = NULL;
  if (!g_file_set_contents(full, text, len, &error)) die("%s: %s", path, error->message);
  g_chmod(full, 0666);
  g_free(dir);
  g_free(full);
  g_free(root);
}

static guint8 *parse_hex(const char *text, size_t *len) {
  size_t n = strlen(text);
  if (n % 2) die("odd hex text: %s", text);
  guint8 *bytes = g_malloc(n / 2 + 1);
  for (size_t i = 0; i < n / 2; i++) {
    unsigned value;
    if (sscanf(text + 2 * i, "%2x", &value) != 1) die("bad hex text: %s", text);
    bytes[i] = (guint8)value;
  }
  *len = n / 2;
  return bytes;
}

static void on_child_exit(GPid pid, gint status, gpointer unused) {
  (void)unused;
  g_spawn_close_pid(pid);
  if (WIFEXITED(status))
    g_childStatus = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    g_childStatus = 128 + WTERMSIG(status);
  g_main_loop_quit(g_loop);
}

/* Signals meant for the run (a test stopping it) go on to the program. */
static GPid g_childPid;
static gboolean on_forward_signal(gpointer signo) {
  if (g_childPid > 0) kill(g_childPid, GPOINTER_TO_INT(signo));
  return G_SOURCE_CONTINUE;
}

int main(int argc, char **argv) {
  int split = 1;
  while (split < argc && strcmp(argv[split], "--") != 0) split++;
  if (split >= argc - 1) die("usage: devemu [OPTION...] -- PROGRAM [ARG...]");

  UMockdevTestbed *tb = umockdev_testbed_new();
  g_clients = g_hash_table_new_full(g_direct_hash, g_direct_equal, g_object_unref, g_free);
  UMockdevIoctlBase *i2cHandler = umockdev_ioctl_base_new();
  g_signal_connect(i2cHandler, "handle-ioctl", G_CALLBACK(on_i2c_ioctl), NULL);
  g_signal_connect(i2cHandler, "handle-read", G_CALLBACK(on_i2c_read), NULL);
  g_signal_connect(i2cHandler, "handle-write", G_CALLBACK(on_i2c_write), NULL);

  g_startTime = g_get_monotonic_time();
  for (int i = 1; i < split; i++) {
    const char *opt = argv[i];
    if (!strcmp(opt, "--stamp")) {
      g_stampLines = 1;
      continue;
    }
    const char *val = i + 1 < split ? argv[i + 1] : NULL;
    if (!val) die("%s needs a value", opt);
    i++;
    if (!strcmp(opt, "--i2c")) {
      gchar *name = g_strdup_printf("i2c-%d", atoi(val));
      gchar *node = g_strdup_printf("/dev/%s", name);
      add_node(tb, "i2c-dev", name, 89, atoi(val));
      attach(tb, node, i2cHandler);
      g_free(node);
      g_free(name);
    } else if (!strcmp(opt, "--chip")) {
      int bus;
      unsigned addr, width;
      if (sscanf(val, "%d:%i:%u", &bus, (int *)&addr, &width) != 3) die("--chip %s", val);
      add_chip(bus, addr, width);
    } else if (!strcmp(opt, "--poke")) {
      int bus;
      unsigned addr, reg;
      char hex[1024];
      if (sscanf(val, "%d:%i:%i:%1023s", &bus, (int *)&addr, (int *)&reg, hex) != 4)
        die("--poke %s", val);
      Chip *chip = find_chip(bus, addr);
      if (!chip) die("--poke: no chip %d:0x%02x", bus, addr);
      size_t len;
      guint8 *bytes = parse_hex(hex, &len);
      for (size_t k = 0; k < len; k++) chip->mem[(reg + k) & 0xffff] = bytes[k];
      g_free(bytes);
    } else if (!strcmp(opt, "--gyro")) {
      int bus;
      unsigned identity;
      if (sscanf(val, "%d:%i", &bus, (int *)&identity) != 2) die("--gyro %s", val);
      Chip *chip = add_chip(bus, 0x68, 1);
      chip->mem[0x75] = (guint8)identity;
      /* x, y, z of a sensor lying still: small offsets and 1 g on z. */
      static const guint8 sample[6] = {0x00, 0x2a, 0xff, 0xd6, 0x08, 0x00};
      unsigned start = identity == 0x39 ? 0x25 : 0x11;
      memcpy(&chip->mem[start], sample, sizeof sample);
    } else if (!strcmp(opt, "--mtd")) {
      gchar **parts = g_strsplit(val, ":", 3);
      if (!parts[0] || !parts[1]) die("--mtd %s", val);
      Mtd *mtd = g_new0(Mtd, 1);
      mtd->index = atoi(parts[0]);
      mtd->failAt = parts[2] ? (gint64)g_ascii_strtoull(parts[2], NULL, 0) : -1;
      if (strcmp(parts[1], "-") != 0) {
        gchar **bad = g_strsplit(parts[1], ",", -1);
        for (int k = 0; bad[k] && mtd->badCount < MAX_BAD; k++)
          mtd->bad[mtd->badCount++] = g_ascii_strtoull(bad[k], NULL, 0);
        g_strfreev(bad);
      }
      g_strfreev(parts);
      gchar *name = g_strdup_printf("mtd%d", mtd->index);
      gchar *node = g_strdup_printf("/dev/%s", name);
      add_node(tb, "mtd", name, 90, mtd->index * 2);
      UMockdevIoctlBase *handler = umockdev_ioctl_base_new();
      g_signal_connect(handler, "handle-ioctl", G_CALLBACK(on_mtd_ioctl), mtd);
      attach(tb, node, handler);
      g_free(node);
      g_free(name);
    } else if (!strcmp(opt, "--proc-mtd")) {
      gchar *text;
      gsize len;
      GError *error = NULL;
      if (!g_file_get_contents(val, &text, &len, &error)) die("%s", error->message);
      write_testbed_file(tb, "proc/mtd", text, (gssize)len);
      g_free(text);
    } else if (!strcmp(opt, "--iio")) {
      const char *eq = strchr(val, '=');
      if (!eq) die("--iio %s", val);
      gchar *path = g_strdup_printf("sys/bus/iio/devices/iio:device0/in_voltage%.*s_raw",
                                    (int)(eq - val), val);
      write_testbed_file(tb, path, eq + 1, -1);
      g_free(path);
    } else if (!strcmp(opt, "--log")) {
      g_busLog = fopen(val, "w");
      if (!g_busLog) die("%s: %s", val, strerror(errno));
    } else {
      die("unknown option %s", opt);
    }
  }

  /* The program runs with the preload library; a sanitizer runtime in it need not
   * come first in the library list. */
  gchar **envp = g_get_environ();
  envp = g_environ_setenv(envp, "LD_PRELOAD", "libumockdev-preload.so.0", TRUE);
  const gchar *asan = g_environ_getenv(envp, "ASAN_OPTIONS");
  gchar *asanOptions = g_strdup_printf("%s%sverify_asan_link_order=0", asan ? asan : "",
                                       asan && *asan ? ":" : "");
  envp = g_environ_setenv(envp, "ASAN_OPTIONS", asanOptions, TRUE);
  g_free(asanOptions);

  GError *error = NULL;
  if (!g_spawn_async(NULL, argv + split + 1, envp,
                     G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH |
                         G_SPAWN_CHILD_INHERITS_STDIN,
                     NULL, NULL, &g_childPid, &error))
    die("%s: %s", argv[split + 1], error->message);
  g_strfreev(envp);

  g_loop = g_main_loop_new(NULL, FALSE);
  g_child_watch_add(g_childPid, on_child_exit, NULL);
  g_unix_signal_add(SIGINT, on_forward_signal, GINT_TO_POINTER(SIGINT));
  g_unix_signal_add(SIGTERM, on_forward_signal, GINT_TO_POINTER(SIGTERM));
  g_main_loop_run(g_loop);

  if (g_busLog) fclose(g_busLog);
  g_object_unref(i2cHandler);
  g_object_unref(tb);
  return g_childStatus;
}
