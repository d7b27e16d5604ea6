#pragma once
// A book site that misbehaves on purpose, for soaking the download path. It
// serves the chapter pages of one generated book on 127.0.0.1 and answers
// every request with an answer drawn at random, from a fixed seed, per
// chapter and per request: normally, slowly, or with one of the faults real
// sites show. Each draw depends only on the seed, the chapter and how often
// that chapter was asked for, so a chapter that failed gets through on a
// later attempt or run. A few stubborn chapters fail their first requests
// whatever the draw (StubbornRequests), so that every soak needs a second
// and a third run.
//
// Every chapter comes with the exact bytes its chapter file must hold in
// the end. They are written out piece by piece beside the page (each piece
// of markup, entity, character or broken UTF-8 sequence carries what it must
// become), not computed by the code that cuts, converts and cleans pages, so
// that comparing files with them is an independent check.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/HttpTestServer.h"

namespace quill::testsupport {

enum class SiteAnswer {
  kNormal,            // the GBK page
  kSlow,              // the GBK page after a pause shorter than the stall limit
  kTrickle,           // the GBK page in pieces, longer in all than the stall limit
  kInvalidUtf8,       // the UTF-8 page, with invalid sequences in the chapter text
  kError500WithPage,  // status 500 whose body is the whole page
  kError500Empty,     // status 500 with an empty body
  kEmptyBody,         // status 200 with an empty body
  kResetAtOnce,       // the connection is reset instead of answered
  kResetMidBody,      // the head and part of the body, then a reset
  kCutShort,          // the head and part of the body, then a clean close
  kSilence,           // reads the request and never answers
  kStallMidBody,      // the head and part of the body, then nothing
  kCount
};

const char* AnswerName(SiteAnswer answer);
// How many first requests for the chapter fail in any case: six for every
// hundredth chapter (its first two runs), three for the other fiftieths.
int StubbornRequests(int chapter);
// Whether a client gets the whole page from this answer; the status code
// does not matter to a fetch, so a 500 that carries the page is a page.
bool GivesThePage(SiteAnswer answer);

struct SiteChapter {
  std::string title;     // code-page-936 bytes as the index lists it, entities and all
  std::string address;   // as captured from the index: "1001.html"
  std::string expected;  // what the chapter file must hold: cleaned title line and text
  std::string gbkPage;   // declares charset=gbk
  // The same page in UTF-8 declaring it; where the GBK page has question
  // marks it has invalid sequences that decode to that many of them.
  std::string utf8Page;
};

struct FaultySiteOptions {
  int chapters = 200;
  std::uint64_t seed = 1;
  // The client's stall limit: stalling answers stay silent past it, slow
  // ones never pause for more than a fifth of it.
  std::chrono::milliseconds stallLimit{2000};
};

class FaultySite {
 public:
  explicit FaultySite(FaultySiteOptions options);
  FaultySite(const FaultySite&) = delete;
  FaultySite& operator=(const FaultySite&) = delete;

  // The book's labels as the index shows them (code page 936), and the
  // names its files must get on disk (UTF-8).
  static std::string BookTitle();
  static std::string BookAuthor();
  static std::string BookDirectoryName();
  static std::string BookFileName();
  // The first default rule's markers around a chapter's text.
  static std::string LeftMarker();
  static std::string RightMarker();

  std::string IndexAddress() const;  // the chapter addresses are relative to it
  // Chapter n (from 1) is Chapters()[n - 1].
  const std::vector<SiteChapter>& Chapters() const { return chapters_; }

  struct Served {
    int requests = 0;  // how many requests for the chapter have been answered
    SiteAnswer last = SiteAnswer::kNormal;
  };
  Served ServedFor(int chapter) const;
  std::array<int, static_cast<int>(SiteAnswer::kCount)> AnswerCounts() const;
  int Requests() const;
  // Requests for anything but a chapter page.
  std::vector<std::string> Strays() const;

  // Ends every connection; fetches still waiting on the site fail at once.
  void Stop() { server_.Stop(); }

 private:
  ScriptedResponse Answer(const RecordedRequest& request);
  ScriptedResponse Response(SiteAnswer answer, const SiteChapter& chapter, std::uint64_t draw) const;

  FaultySiteOptions options_;
  std::vector<SiteChapter> chapters_;

  mutable std::mutex lock_;
  std::vector<Served> served_;  // by chapter index
  std::array<int, static_cast<int>(SiteAnswer::kCount)> counts_{};
  int requests_ = 0;
  std::vector<std::string> strays_;

  HttpTestServer server_;  // last: it stops, and its threads end, before the rest goes
};

}  // namespace quill::testsupport
