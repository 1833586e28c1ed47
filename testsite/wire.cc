#include "wire.h"

#include <stdio.h>
#include <strings.h>

#include <algorithm>

namespace tulora::testsite {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool HasLineNamed(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (HeaderNameIs(line, name)) return true;
  }
  return false;
}

// Splits "A B C" at its first two spaces.
void SplitRequestLine(LoggedRequest* out) {
  std::string_view line = out->requestLine;
  size_t first = line.find(' ');
  if (first == std::string_view::npos) {
    out->method = std::string(line);
    return;
  }
  out->method = std::string(line.substr(0, first));
  std::string_view rest = line.substr(first + 1);
  size_t second = rest.find(' ');
  out->target = std::string(rest.substr(0, second));
  if (second != std::string_view::npos) out->version = std::string(rest.substr(second + 1));
}

}  // namespace

bool HeaderNameIs(std::string_view line, std::string_view name) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  return EqualsIgnoreCase(line.substr(0, colon), name);
}

std::string LoggedRequest::Header(std::string_view name) const {
  for (const std::string& line : headerLines) {
    if (HeaderNameIs(line, name)) {
      return std::string(Trim(std::string_view(line).substr(line.find(':') + 1)));
    }
  }
  return std::string();
}

size_t LoggedRequest::HeaderCount(std::string_view name) const {
  size_t count = 0;
  for (const std::string& line : headerLines) count += HeaderNameIs(line, name) ? 1 : 0;
  return count;
}

std::string LoggedRequest::Path() const { return target.substr(0, target.find('?')); }

Reply Reply::Text(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.headerLines.push_back("Content-Type: text/plain; charset=utf-8");
  reply.body = std::move(body);
  return reply;
}

Reply Reply::Chunked(const std::string& body, size_t step, bool ended) {
  Reply reply = Text(200, "");
  reply.headerLines.push_back("Transfer-Encoding: chunked");
  char size[32];
  for (size_t at = 0; at < body.size(); at += step) {
    const size_t n = std::min(step, body.size() - at);
    snprintf(size, sizeof size, "%zx\r\n", n);
    reply.body += size + body.substr(at, n) + "\r\n";
  }
  if (ended) reply.body += "0\r\nX-Trailer: late\r\n\r\n";
  return reply;
}

Reply Reply::Redirect(int status, std::string location) {
  Reply reply;
  reply.status = status;
  reply.headerLines.push_back("Location: " + location);
  reply.body = "moved\n";
  return reply;
}

// Lines end with "\r\n"; a bare "\n" is accepted as well, as servers do.
bool ParseRequestHead(std::string_view raw, LoggedRequest* out, size_t* head_size) {
  size_t pos = 0;
  bool first = true;
  out->headerLines.clear();
  while (pos < raw.size()) {
    size_t nl = raw.find('\n', pos);
    if (nl == std::string_view::npos) return false;
    std::string_view line = raw.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = nl + 1;
    if (first) {
      out->requestLine = std::string(line);
      SplitRequestLine(out);
      first = false;
    } else if (line.empty()) {
      *head_size = pos;
      return true;
    } else {
      out->headerLines.emplace_back(line);
    }
  }
  return false;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "";
  }
}

std::string FormatReplyHead(const Reply& reply) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " ";
  head += reply.reason.empty() ? ReasonPhrase(reply.status) : reply.reason;
  head += "\r\n";
  for (const std::string& line : reply.headerLines) head += line + "\r\n";
  if (reply.addContentLength && !HasLineNamed(reply.headerLines, "Content-Length") &&
      !HasLineNamed(reply.headerLines, "Transfer-Encoding")) {
    head += "Content-Length: " + std::to_string(reply.Body().size()) + "\r\n";
  }
  if (!HasLineNamed(reply.headerLines, "Connection")) head += "Connection: close\r\n";
  head += "\r\n";
  return head;
}

}  // namespace tulora::testsite
