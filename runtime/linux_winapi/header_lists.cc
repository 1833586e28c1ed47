#include "runtime/linux_winapi/header_lists.h"

#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <string_view>
#include <vector>

namespace tulora::net {
namespace {

// The pieces of a header block.
enum class Part : uint8_t {
  kEnd,
  kHost,
  kContentLength,  // when the leg sends the body
  kUserAgent,      // the request's agent, unless a caller line names one
  kDefaultAccept,  // "Accept: */*" when asked for and no caller line names one
  kCallerLines,    // the request's lines, in their order
  kConnection,     // "Connection: Keep-Alive"
  kStoredCookies,  // the cookie jar's line
};

struct Layout {
  HeaderStyle style;
  bool redirected;  // a leg after a followed redirect
  Part parts[8];
};

// The orders the platform's functions send, as seen on the wire.
constexpr Layout kLayouts[] = {
    {HeaderStyle::kWinInet,
     false,
     {Part::kHost, Part::kContentLength, Part::kUserAgent, Part::kDefaultAccept, Part::kCallerLines,
      Part::kStoredCookies}},
    {HeaderStyle::kWinInet,
     true,
     {Part::kUserAgent, Part::kDefaultAccept, Part::kCallerLines, Part::kHost, Part::kContentLength,
      Part::kStoredCookies}},
    {HeaderStyle::kRequestObject,
     false,
     {Part::kDefaultAccept, Part::kCallerLines, Part::kUserAgent, Part::kHost, Part::kContentLength,
      Part::kConnection, Part::kStoredCookies}},
    {HeaderStyle::kRequestObject,
     true,
     {Part::kDefaultAccept, Part::kCallerLines, Part::kUserAgent, Part::kConnection, Part::kHost,
      Part::kContentLength, Part::kStoredCookies}},
};

bool NameIs(std::string_view line, std::string_view name) {
  size_t colon = line.find(':');
  std::string_view n = line.substr(0, colon);
  while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
  return colon != std::string_view::npos && n.size() == name.size() &&
         strncasecmp(n.data(), name.data(), name.size()) == 0;
}

bool HasLine(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (NameIs(line, name)) return true;
  }
  return false;
}

bool BlankValue(const std::string& line) {
  return line.find_first_not_of(' ', line.find(':') + 1) == std::string::npos;
}

// The lines of one leg in the layout's order.
class Block {
 public:
  Block(const TransferRequest& r, const Leg& leg) : r_(r), leg_(leg) {}

  std::vector<std::string> Lines(const Layout& layout) {
    for (Part part : layout.parts) {
      if (part == Part::kEnd) break;
      Add(part);
    }
    return std::move(lines_);
  }

 private:
  void Add(Part part) {
    const std::vector<std::string>& caller = r_.headerLines;
    switch (part) {
      case Part::kHost:
        if (!leg_.parts.host.empty() && !HasLine(caller, "Host"))
          lines_.push_back("Host: " + leg_.parts.HostLine());
        break;
      case Part::kContentLength:
        if (leg_.sendBody && r_.announceLength && !HasLine(caller, "Content-Length")) {
          lines_.push_back("Content-Length: " + std::to_string(r_.body.size()));
        }
        break;
      case Part::kUserAgent:
        if (!r_.userAgent.empty() && !HasLine(caller, "User-Agent")) {
          lines_.push_back("User-Agent: " + r_.userAgent);
        }
        break;
      case Part::kDefaultAccept:
        if (r_.defaultAccept && !HasLine(caller, "Accept")) lines_.push_back("Accept: */*");
        break;
      case Part::kCallerLines: AddCallerLines(); break;
      case Part::kConnection:
        if (!HasLine(caller, "Connection")) lines_.push_back("Connection: Keep-Alive");
        break;
      case Part::kStoredCookies:
        if (!leg_.storedCookies.empty()) lines_.push_back("Cookie: " + leg_.storedCookies);
        break;
      case Part::kEnd: break;
    }
  }

  // WinINet leaves the caller's Content-Type out of a redirected request
  // that carries no body.
  void AddCallerLines() {
    bool dropType = r_.style == HeaderStyle::kWinInet && leg_.number > 1 && !leg_.sendBody;
    for (const std::string& line : r_.headerLines) {
      if (line.find(':') == std::string::npos) continue;
      if (dropType && NameIs(line, "Content-Type")) continue;
      lines_.push_back(line);
    }
  }

  const TransferRequest& r_;
  const Leg& leg_;
  std::vector<std::string> lines_;
};

// The request object keeps its Host line in place when a redirect leads to
// the same host and port; WinINet always sends it anew, after the rest.
const Layout& LayoutFor(HeaderStyle style, const Leg& leg) {
  const bool redirected = leg.number > 1 && (style == HeaderStyle::kWinInet || leg.hostChanged);
  for (const Layout& layout : kLayouts) {
    if (layout.style == style && layout.redirected == redirected) return layout;
  }
  return kLayouts[0];
}

// Lines go to the library's list one by one, joined where the library
// would not send a line as given or where given, or would act on it:
// - curl drops a "Name:" line with nothing after the colon. "Name;" is its
//   way of sending the empty value ("Name:"); the request object's form
//   "Name: " goes out joined to the line before it, or to the line after
//   it where it comes first.
// - curl sends a Host line of the list first of all; one that belongs
//   further down goes out joined to the line before it, curl's own Host
//   blanked.
// - curl would chunk the body for a Transfer-Encoding line of the list: a
//   caller's one goes out joined after a line (the one before it, or the
//   first one after it), as a line and nothing more. So one that would
//   stand first of all (the request object's, as the caller's first line)
//   goes out second: nothing else makes curl send it unread.
// The names that stand first in an entry are the ones curl sees.
class ServerList {
 public:
  ServerList(HeaderStyle style, curl_slist** list) : style_(style), list_(list) {}

  // Puts the last entry in; call once, after the last Add.
  void End() {
    Flush();
    if (!ahead_.empty()) Put(ahead_.substr(0, ahead_.find(':')) + ";");
    if (!behind_.empty()) Put(behind_.substr(2));  // a list of nothing else: as it is
    ahead_.clear();
    behind_.clear();
  }

  void Add(const std::string& line) {
    const std::string name = line.substr(0, line.find(':'));
    const bool keepEmpty = style_ == HeaderStyle::kRequestObject;
    if (NameIs(line, "Host") && (!last_.empty() || !ahead_.empty())) {
      hostJoined_ = true;
      Join(line);
    } else if (NameIs(line, "Transfer-Encoding")) {
      Hide(line);
    } else if (!BlankValue(line)) {
      Flush();
      last_ = ahead_ + line + behind_;
      ahead_.clear();
      behind_.clear();
    } else if (keepEmpty && last_.empty()) {
      ahead_ += name + ": \r\n";
    } else if (keepEmpty) {
      last_ += "\r\n" + name + ": ";
    } else {
      Flush();
      Put(ahead_ + name + ";");
      ahead_.clear();
    }
  }
  bool HostJoined() const { return hostJoined_; }
  // After End: whether curl sees an entry of this name (one it then adds
  // none of).
  bool Sees(std::string_view name) const {
    for (const std::string& entry : entries_) {
      if (NameIs(entry.substr(0, entry.find_first_of(":;")) + ":", name)) return true;
    }
    return false;
  }

 private:
  // A line curl must not see by its name: after the entry being made, or
  // after the first line of the next one.
  void Hide(const std::string& line) {
    if (last_.empty()) {
      behind_ += "\r\n" + line;
    } else {
      last_ += "\r\n" + line;
    }
  }
  void Join(const std::string& line) {
    if (last_.empty()) {
      ahead_ += line + "\r\n";
    } else {
      last_ += "\r\n" + line;
    }
  }
  void Put(const std::string& entry) {
    *list_ = curl_slist_append(*list_, entry.c_str());
    entries_.push_back(entry);
  }
  void Flush() {
    if (!last_.empty()) Put(last_);
    last_.clear();
  }

  HeaderStyle style_;
  curl_slist** list_;
  std::string last_;   // the entry being made
  std::string ahead_;   // lines that go ahead of the next line
  std::string behind_;  // lines that go right after the next line
  std::vector<std::string> entries_;
  bool hostJoined_ = false;
};

}  // namespace

void BuildHeaders(const TransferRequest& r, const Leg& leg, bool via_proxy, HeaderLists* lists) {
  std::vector<std::string> lines = Block(r, leg).Lines(LayoutFor(r.style, leg));
  ServerList server(r.style, &lists->server);
  for (const std::string& line : lines) {
    if (via_proxy && NameIs(line, "Proxy-Authorization")) {
      lists->proxy = curl_slist_append(lists->proxy, line.c_str());
    } else {
      server.Add(line);
    }
  }
  server.End();
  // Only these lines: none of curl's own extras, and no framing of its own
  // (the Content-Length line is the layout's, and the body is never chunked).
  if (server.HostJoined()) lists->server = curl_slist_append(lists->server, "Host:");
  for (const char* blank : {"Accept:", "Expect:", "Content-Type:", "Proxy-Connection:",
                            "Content-Length:", "Transfer-Encoding:"}) {
    if (!server.Sees(std::string_view(blank, strlen(blank) - 1))) {
      lists->server = curl_slist_append(lists->server, blank);
    }
  }
}

}  // namespace tulora::net
