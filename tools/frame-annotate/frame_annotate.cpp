// frame-annotate IN OUT: reads the image IN, draws what standard input asks, writes
// OUT (PNG or JPEG by its name). One drawing per line, colours as R G B 0..255,
// coordinates in IN's pixels:
//   poly R G B WIDTH X1 Y1 X2 Y2 ...     closed outline
//   box R G B WIDTH LEFT TOP RIGHT BOTTOM
//   text R G B X Y TEXT...               a line of text on a dark band, top-left at X Y
// Empty lines and lines starting with # are skipped. Exit status 0 when OUT was
// written; 1 with a message for an unreadable image or a bad line; 2 for bad
// arguments.
#include <stdio.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const int kFont = cv::FONT_HERSHEY_SIMPLEX;
const int kMaxWidth = 64;

bool read_colour(std::istringstream &in, cv::Scalar *colour) {
  int r, g, b;
  if (!(in >> r >> g >> b) || r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) return false;
  *colour = cv::Scalar(b, g, r);
  return true;
}

// Text scaled to the image: a 1280-pixel-wide frame gets a scale of 0.8.
void draw_text(cv::Mat &img, const cv::Scalar &colour, int x, int y, const std::string &text) {
  double scale = img.cols / 1600.0;
  int thick = scale > 0.7 ? 2 : 1;
  int base = 0;
  cv::Size size = cv::getTextSize(text, kFont, scale, thick, &base);
  int pad = (int)(6 * scale) + 2;
  cv::rectangle(img, cv::Rect(x, y, size.width + 2 * pad, size.height + base + 2 * pad),
                cv::Scalar(0, 0, 0), cv::FILLED);
  cv::putText(img, text, cv::Point(x + pad, y + pad + size.height), kFont, scale, colour, thick,
              cv::LINE_AA);
}

// One drawing; false for a line that is not one.
bool draw(cv::Mat &img, const std::string &line) {
  std::istringstream in(line);
  std::string what;
  cv::Scalar colour;
  if (!(in >> what) || what[0] == '#') return true;
  if (!read_colour(in, &colour)) return false;
  if (what == "text") {
    int x, y;
    std::string text;
    if (!(in >> x >> y) || !std::getline(in >> std::ws, text)) return false;
    draw_text(img, colour, x, y, text);
    return true;
  }
  int width;
  if (!(in >> width) || width < 1 || width > kMaxWidth) return false;
  std::vector<cv::Point> pts;
  double x, y;
  while (in >> x >> y) pts.push_back(cv::Point((int)(x + 0.5), (int)(y + 0.5)));
  if (!in.eof()) return false;
  if (what == "box" && pts.size() == 2) {
    cv::rectangle(img, pts[0], pts[1], colour, width, cv::LINE_AA);
    return true;
  }
  if (what == "poly" && pts.size() >= 2) {
    cv::polylines(img, pts, true, colour, width, cv::LINE_AA);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: frame-annotate IN OUT < drawings\n");
    return 2;
  }
  cv::Mat img = cv::imread(argv[1], cv::IMREAD_COLOR);
  if (img.empty()) {
    fprintf(stderr, "frame-annotate: %s: not a readable image\n", argv[1]);
    return 1;
  }
  char buf[8192];
  int lineNo = 0;
  while (fgets(buf, sizeof buf, stdin)) {
    ++lineNo;
    std::string line(buf, strcspn(buf, "\n"));
    if (!draw(img, line)) {
      fprintf(stderr, "frame-annotate: line %d: not a drawing: %s\n", lineNo, line.c_str());
      return 1;
    }
  }
  bool ok = false;
  try {
    ok = cv::imwrite(argv[2], img);
  } catch (const cv::Exception &) {
    ok = false;
  }
  if (!ok) {
    fprintf(stderr, "frame-annotate: %s: cannot write the image\n", argv[2]);
    return 1;
  }
  return 0;
}
