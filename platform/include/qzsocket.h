// Message socket to the camera's control process (libqzsocket).
//
// The client connects in the background and reconnects by itself when the peer
// restarts. Received messages reach the callback given to qz_sock_init on the
// library's own receive thread. The wire format is described in docs/qzsocket.md.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Header of every message, as it travels on the socket and as the receive callback
// sees it. The service reads the request id from the second word and the sender from
// the third.
typedef struct QzMsgHeader {
  uint32_t length;   // bytes of data that follow the header
  uint32_t id;       // message or request id
  uint32_t sender;   // bits 0..15: client id of the sender
  uint32_t target;   // destination code
} QzMsgHeader;

typedef int (*QzSockCallback)(void *context, QzMsgHeader *header, void *data);
// A request handler receives the context given to qz_sock_init and the message data.
// The data of a delivered message is followed by at least 64 zero bytes, so a fixed-size
// read from a short message sees zeros.
typedef int (*QzRequestHandler)(void *context, void *data);

typedef struct QzRequestEntry {
  int id;
  QzRequestHandler handler;
  void *reserved1;
  void *reserved2;
} QzRequestEntry;

enum { QZ_SOCK_DISCONNECTED = 0, QZ_SOCK_CONNECTING = 1, QZ_SOCK_CONNECTED = 2 };

// Starts the background connection to path as client clientId. Returns 0 or -1.
// With a null callback, received messages go to dispatch_request.
int qz_sock_init(QzSockCallback callback, void *context, int clientId, const char *path);
// Stops the receive thread and closes the connection.
int qz_sock_uninit(void);
// QZ_SOCK_CONNECTED (2) while connected.
int qz_client_socket_state(void);
// Adds count entries to the request table. Returns 0 or -1 when the table is full.
int sock_request_register(const QzRequestEntry *table, int count);
// Calls the handler registered for id with data as its second argument; -1 if none.
int dispatch_request(int id, int sender, void *data);
// Sends one message; -1 when not connected. Never blocks for long.
int qz_sock_send_msg(int target, int id, const void *data, int length);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(QzMsgHeader) == 16, "QzMsgHeader size");
#endif
