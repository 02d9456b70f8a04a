// Message-socket client against a listener played by the test on a temporary path:
// frames both ways, dispatch, malformed frames, reconnect after the peer restarts.
#include <gtest/gtest.h>
#include <endian.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qzsocket.h"
#include "qzsocket_frame.h"

namespace {

struct Received {
  QzMsgHeader header;
  std::vector<uint8_t> data;  // the data plus the zero bytes the library promises after it
};

std::mutex g_lock;
std::vector<Received> g_received;
void *g_context_seen = nullptr;

int record_message(void *context, QzMsgHeader *header, void *data) {
  std::lock_guard<std::mutex> guard(g_lock);
  const uint8_t *bytes = static_cast<const uint8_t *>(data);
  g_received.push_back({*header, std::vector<uint8_t>(bytes, bytes + header->length + 32)});
  g_context_seen = context;
  return 0;
}

size_t received_count() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_received.size();
}

template <typename Pred>
bool eventually(Pred pred, int ms = 3000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

std::vector<uint8_t> frame(uint32_t length, uint32_t id, uint32_t sender, uint32_t target,
                           const std::vector<uint8_t> &data) {
  uint32_t words[4] = {htole32(length), htole32(id), htole32(sender), htole32(target)};
  std::vector<uint8_t> out(sizeof words + data.size());
  memcpy(out.data(), words, sizeof words);
  if (!data.empty()) memcpy(out.data() + sizeof words, data.data(), data.size());
  return out;
}

class Socket : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qzsock-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/qzsocket";
    std::lock_guard<std::mutex> guard(g_lock);
    g_received.clear();
  }
  void TearDown() override {
    qz_sock_uninit();
    close_peer();
    stop_listening();
    rmdir(dir_.c_str());
  }
  void listen_now() {
    struct sockaddr_un addr;
    int len = qz_frame_address(path_.c_str(), &addr);
    listen_fd_ = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    ASSERT_GE(listen_fd_, 0);
    ASSERT_EQ(bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), len), 0);
    ASSERT_EQ(listen(listen_fd_, 4), 0);
  }
  void stop_listening() {
    if (listen_fd_ >= 0) close(listen_fd_);
    listen_fd_ = -1;
    unlink(path_.c_str());
  }
  void close_peer() {
    if (peer_ >= 0) close(peer_);
    peer_ = -1;
  }
  // Starts the client and accepts its connection.
  void connect_client(QzSockCallback callback, void *context = nullptr) {
    ASSERT_EQ(qz_sock_init(callback, context, 13, path_.c_str()), 0);
    accept_client();
  }
  void accept_client() {
    ASSERT_TRUE(eventually([] { return qz_client_socket_state() == QZ_SOCK_CONNECTED; }));
    struct pollfd p = {listen_fd_, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 3000), 1);
    peer_ = accept(listen_fd_, nullptr, nullptr);
    ASSERT_GE(peer_, 0);
  }
  void send_raw(const std::vector<uint8_t> &packet) {
    ASSERT_EQ(send(peer_, packet.data(), packet.size(), 0), static_cast<ssize_t>(packet.size()));
  }
  std::vector<uint8_t> receive_raw() {
    struct pollfd p = {peer_, POLLIN, 0};
    if (poll(&p, 1, 3000) != 1) return {};
    std::vector<uint8_t> buf(QZ_FRAME_MAX_SIZE);
    ssize_t n = recv(peer_, buf.data(), buf.size(), 0);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
  }
  std::string dir_, path_;
  int listen_fd_ = -1;
  int peer_ = -1;
};

TEST_F(Socket, MessagesBothWays) {
  listen_now();
  int context = 0;
  connect_client(record_message, &context);

  ASSERT_EQ(qz_sock_send_msg(1, 6119, nullptr, 0), 0);
  std::vector<uint8_t> ready = receive_raw();
  EXPECT_EQ(ready, frame(0, 6119, 13, 1, {}));

  std::vector<uint8_t> report(6144, 0);
  memcpy(report.data(), "0:0:100:59:150:89;", 18);
  ASSERT_EQ(qz_sock_send_msg(1, 6116, report.data(), 6144), 0);
  EXPECT_EQ(receive_raw(), frame(6144, 6116, 13, 1, report));

  std::vector<uint8_t> avs = {1, 0, 0, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  send_raw(frame(20, 6049, 0x70005, 13, avs));
  ASSERT_TRUE(eventually([] { return received_count() == 1; }));
  std::lock_guard<std::mutex> guard(g_lock);
  const Received &got = g_received[0];
  EXPECT_EQ(got.header.length, 20u);
  EXPECT_EQ(got.header.id, 6049u);
  EXPECT_EQ(got.header.sender, 0x70005u);
  EXPECT_EQ(got.header.target, 13u);
  EXPECT_EQ(std::vector<uint8_t>(got.data.begin(), got.data.begin() + 20), avs);
  EXPECT_EQ(got.data[20], 0);
  EXPECT_EQ(g_context_seen, &context);
}

TEST_F(Socket, BadArgumentsAndNoPeer) {
  EXPECT_EQ(qz_sock_send_msg(1, 6119, nullptr, 0), -1) << "not started";
  EXPECT_EQ(qz_sock_init(record_message, nullptr, 13, std::string(200, 'x').c_str()), -1);
  EXPECT_EQ(qz_sock_init(record_message, nullptr, 13, nullptr), -1);
  ASSERT_EQ(qz_sock_init(record_message, nullptr, 13, path_.c_str()), 0);
  EXPECT_EQ(qz_sock_init(record_message, nullptr, 13, path_.c_str()), -1) << "already started";
  ASSERT_TRUE(eventually([] { return qz_client_socket_state() == QZ_SOCK_CONNECTING; }));
  EXPECT_EQ(qz_sock_send_msg(1, 6119, nullptr, 0), -1) << "nobody listening";
  char data[8] = {};
  EXPECT_EQ(qz_sock_send_msg(1, 6116, data, -1), -1);
  EXPECT_EQ(qz_sock_send_msg(1, 6116, nullptr, 8), -1);
  EXPECT_EQ(qz_sock_send_msg(1, 6116, data, QZ_FRAME_MAX_DATA + 1), -1);
  EXPECT_EQ(qz_sock_uninit(), 0);
  EXPECT_EQ(qz_client_socket_state(), QZ_SOCK_DISCONNECTED);
  EXPECT_EQ(qz_sock_uninit(), -1);
}

std::atomic<int> g_handler_calls{0};
uint32_t g_handler_words[5];

int avs_handler(void *, void *data) {
  memcpy(g_handler_words, data, sizeof g_handler_words);
  g_handler_calls++;
  return 7;
}

int other_handler(void *, void *) { return 3; }

int dispatching_callback(void *, QzMsgHeader *header, void *data) {
  return dispatch_request(static_cast<int>(header->id), static_cast<int>(header->sender & 0xFFFF), data);
}

TEST_F(Socket, DispatchAndMalformedFrames) {
  static const QzRequestEntry table[] = {{6049, avs_handler, nullptr, nullptr},
                                         {6050, other_handler, nullptr, nullptr}};
  ASSERT_EQ(sock_request_register(table, 2), 0);
  EXPECT_EQ(sock_request_register(nullptr, 1), -1);
  uint32_t words[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(dispatch_request(6050, 0, words), 3);
  EXPECT_EQ(dispatch_request(4242, 0, words), -1) << "no handler for the id";

  listen_now();
  connect_client(dispatching_callback);
  g_handler_calls = 0;
  std::vector<uint8_t> full = {9, 0, 0, 0, 8, 0, 0, 0, 7, 0, 0, 0, 6, 0, 0, 0, 5, 0, 0, 0};
  send_raw(frame(20, 6049, 0, 13, full));
  ASSERT_TRUE(eventually([] { return g_handler_calls.load() == 1; }));
  EXPECT_EQ(g_handler_words[0], 9u);
  EXPECT_EQ(g_handler_words[4], 5u);

  // Dropped: an empty packet, shorter than a header, a length beyond the packet, a
  // length short of it, a length over the limit. None reaches the handler, and none
  // ends the connection (the frames after them still arrive on it).
  send_raw({});
  send_raw({1, 2, 3, 4, 5});
  send_raw(frame(100, 6049, 0, 13, full));
  send_raw(frame(4, 6049, 0, 13, full));
  send_raw(frame(0xFFFFFFF0u, 6049, 0, 13, {}));
  send_raw(frame(QZ_FRAME_MAX_DATA + 4, 6049, 0, 13, std::vector<uint8_t>(QZ_FRAME_MAX_DATA + 4, 1)));
  // A short but well-formed request: the handler's fixed-size read sees zeros after
  // the 4 bytes sent, not what the previous message left there.
  send_raw(frame(4, 6049, 0, 13, {1, 0, 0, 0}));
  ASSERT_TRUE(eventually([] { return g_handler_calls.load() == 2; }));
  EXPECT_EQ(g_handler_words[0], 1u);
  EXPECT_EQ(g_handler_words[1], 0u);
  EXPECT_EQ(g_handler_words[4], 0u);
  EXPECT_EQ(qz_client_socket_state(), QZ_SOCK_CONNECTED) << "bad frames do not cost the connection";

  // Registering an id again replaces its handler.
  static const QzRequestEntry replace[] = {{6049, other_handler, nullptr, nullptr}};
  ASSERT_EQ(sock_request_register(replace, 1), 0);
  EXPECT_EQ(dispatch_request(6049, 0, words), 3);
  ASSERT_EQ(sock_request_register(table, 1), 0);
}

TEST_F(Socket, RequestTableFills) {
  std::vector<QzRequestEntry> many;
  for (int i = 0; i < 200; i++) many.push_back({100000 + i, other_handler, nullptr, nullptr});
  EXPECT_EQ(sock_request_register(many.data(), 200), -1);
  EXPECT_EQ(dispatch_request(100000, 0, nullptr), -1) << "a table that does not fit adds nothing";
}

TEST_F(Socket, ReconnectsAfterPeerRestart) {
  listen_now();
  connect_client(record_message);
  ASSERT_EQ(qz_sock_send_msg(1, 1, nullptr, 0), 0);
  EXPECT_EQ(receive_raw(), frame(0, 1, 13, 1, {}));

  // The control process goes away.
  close_peer();
  stop_listening();
  ASSERT_TRUE(eventually([] { return qz_client_socket_state() != QZ_SOCK_CONNECTED; }));
  EXPECT_EQ(qz_sock_send_msg(1, 2, nullptr, 0), -1);

  // And comes back: the client finds it without being told.
  listen_now();
  accept_client();
  ASSERT_EQ(qz_sock_send_msg(1, 3, "hi", 3), 0);
  EXPECT_EQ(receive_raw(), frame(3, 3, 13, 1, {'h', 'i', 0}));
  send_raw(frame(2, 77, 0, 13, {'o', 'k'}));
  ASSERT_TRUE(eventually([] { return received_count() == 1; }));
}

// A control process with every slot taken accepts and closes at once: the client
// waits 100 ms before each new attempt instead of spinning (a busy machine only
// lowers the count).
TEST_F(Socket, ReconnectsNoFasterThanEveryTenthOfASecond) {
  listen_now();
  ASSERT_EQ(qz_sock_init(record_message, nullptr, 13, path_.c_str()), 0);
  int accepted = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < end) {
    struct pollfd p = {listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) != 1) continue;
    int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd >= 0) accepted++, close(fd);
  }
  EXPECT_GE(accepted, 2);
  EXPECT_LE(accepted, 12);
}

TEST(SocketFrame, DecodeBounds) {
  std::vector<uint8_t> good = frame(3, 6116, 13, 1, {'a', 'b', 0});
  QzMsgHeader header;
  const uint8_t *data = nullptr;
  ASSERT_EQ(qz_frame_decode(good.data(), good.size(), &header, &data), 0);
  EXPECT_EQ(header.id, 6116u);
  EXPECT_EQ(data, good.data() + 16);
  for (size_t cut = 0; cut < good.size(); cut++)
    EXPECT_EQ(qz_frame_decode(good.data(), cut, &header, &data), -1) << cut;
  EXPECT_EQ(qz_frame_decode(nullptr, 16, &header, &data), -1);
}

}  // namespace
