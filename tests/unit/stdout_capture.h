// Captures what the code under test writes to standard output (file descriptor 1).
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

class StdoutCapture {
 public:
  StdoutCapture() {
    fflush(stdout);
    char path[] = "/tmp/stdout-capture.XXXXXX";
    file_ = mkstemp(path);
    unlink(path);
    saved_ = dup(STDOUT_FILENO);
    dup2(file_, STDOUT_FILENO);
  }
  ~StdoutCapture() { Finish(); }

  // Restores standard output and returns everything written since construction.
  std::string Finish() {
    if (saved_ >= 0) {
      fflush(stdout);
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
      saved_ = -1;
      lseek(file_, 0, SEEK_SET);
      char buffer[4096];
      ssize_t n;
      while ((n = read(file_, buffer, sizeof buffer)) > 0) text_.append(buffer, (size_t)n);
      close(file_);
    }
    return text_;
  }

 private:
  int file_ = -1;
  int saved_ = -1;
  std::string text_;
};
