// The responder's side of the settings store: one lock for every thread, a snapshot
// of what replies report, the credential check, and the one writer of both
// protocols' modify requests.
#pragma once

#include <stdint.h>

#include <functional>

#include "qzdb.h"

// The wired network row (eth0's: the responder serves no other); text fields
// terminated.
void search_read_network(DbNetwork *net);
// The OEM index, read under the store lock.
int search_read_oem_index(void);

// What replies report, read from the store (and eth0's live addresses) at most once a
// second and at once after an accepted modify, so that a request costs no store reads.
typedef struct ReplySnapshot {
  DbDevice dev;
  DbOem oem;
  DbNetwork net;
  DbPort port;
  char liveIp[64], liveMask[64], liveGateway[64];  // eth0's own, read when DHCP is on
  bool valid;
  int64_t takenMs;
} ReplySnapshot;
// Copies the snapshot, refreshing it when it is stale.
void snapshot_get(ReplySnapshot *out);
// The name replies give: the OEM model text, else the device's.
const char *device_name(const DbDevice *dev, const DbOem *oem);

// 0 when user is an administrator or operator with this password, else -1.
int search_check_user(const char *user, const char *password);

// The store writes of one accepted modify, raw or UDP, in the order its protocol
// makes them.
enum ModifyWrite { WRITE_PORT, WRITE_TITLE, WRITE_NETWORK, WRITE_USER };
typedef struct ModifyPlan {
  DbNetwork net;       // read once from the store, then edited by the request
  long httpPort;
  const char *title;
  DbUser user;
  ModifyWrite writes[4];
  int writeCount;
  int result;          // what an accepted modify returns when every write succeeds
} ModifyPlan;
void plan_write(ModifyPlan *plan, ModifyWrite write);

// Fills the plan from the request once the credentials passed; plan.net holds the
// stored wired network row.
typedef std::function<void(ModifyPlan &plan)> ModifyEditor;
// modify_store's answer to credentials it refused (nothing read or written).
enum { MODIFY_REFUSED = -2 };

// One modify against the store, under the store lock: the credentials are checked
// behind the guessing pause, the network row is read once and handed to edit, and the
// planned writes run in order; the first that fails is reported by function and ends
// them. Every field is checked before the first write. MODIFY_REFUSED, -1 when a write
// failed, else plan.result; *stored receives the network row as the store holds it now
// (all zero when the credentials were refused).
int modify_store(const char *user, const char *password, const ModifyEditor &edit,
                 const char *function, DbNetwork *stored);

// Held by a modify from before its store write until it has applied the network to
// eth0 (or, not applying, until the write is done): a raw and a UDP modify accepted at
// the same moment then cannot leave eth0 different from what the store ends up holding.
// Taken before the store lock, never while holding it.
struct NetworkChangeLock {
  NetworkChangeLock();
  ~NetworkChangeLock();
  NetworkChangeLock(const NetworkChangeLock &) = delete;
  NetworkChangeLock &operator=(const NetworkChangeLock &) = delete;
};

// Editors' helpers. Copies the stored user called name into *user: 0, or -1 when
// there is none.
int stored_user(const char *name, DbUser *user);
// Copies an address that CheckIPAddr accepts into field in its
// canonical form; anything else leaves field as it was.
void take_address(char *field, size_t size, const char *text);
// The same for a netmask that search_netmask_is_usable takes, and for a host address
// or gateway that search_host_address_is_usable takes under mask; a well-formed
// address that is not usable is skipped with a report naming the field.
void take_netmask(char *field, size_t size, const char *text, const char *function);
void take_host_address(char *field, size_t size, const char *text, const char *mask,
                       const char *name, const char *function);
// The gateway of net as an accepted modify leaves it: a requested gateway outside the
// subnet of net's (new) address and netmask is skipped, and one kept from before that
// lies outside it is cleared, each with a report; a default route through it could not
// be added, and eth0 would be left without one while the store claims it.
void take_gateway(DbNetwork *net, const char *text, const char *function);
// A title that would split the reply into extra fields is skipped, with a report.
bool title_usable(const char *title, const char *function);
