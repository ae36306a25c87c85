#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

// AnnotationGate: which of the viewers' annotation messages the presenter's
// host lets through, into its library and on to the other viewers. Nothing
// passes while the presenter forbids annotation; a mark passes only while
// annotation mode is on (or a viewer's request is turning it on), only in
// the form the libraries produce, and only while the marks in existence,
// and those its sender placed, stay within their bounds (PeerLimits.h), so
// that what the presenter's library keeps is what the other viewers were
// shown. The gate follows the marks as the presenter's library does: its
// own marks and its clears come from the drained stream, and leaving the
// mode clears them all.
//
// Portable, no lock: the presenter's host serialises the calls.
class AnnotationGate {
 public:
  enum class Verdict {
    kRefused,        // neither posted nor relayed
    kToPresenter,    // posted into the presenter's library only
    kToEveryone,     // posted, and relayed to the other viewers
  };

  void SetAllowed(bool allowed) { allowed_ = allowed; }
  bool Allowed() const { return allowed_; }
  // An annotation event of a viewer (types 6, 7 and 11); other types are
  // not this gate's and are refused.
  Verdict FromViewer(uint32_t viewer, uint32_t type, const uint8_t* payload, uint32_t size);
  // An ordinary event the presenter's library queued (containers carry
  // copies of marks that exist already and are not counted).
  void FromPresenter(uint32_t type, const uint8_t* payload, uint32_t size);
  void ViewerLeft(uint32_t viewer) { marksBy_.erase(viewer); }
  size_t Marks() const { return marks_; }

 private:
  Verdict MarkFromViewer(uint32_t viewer, const uint8_t* payload, uint32_t size);
  void ClearMarks();

  bool allowed_ = false;
  bool modeOn_ = false;
  size_t marks_ = 0;
  std::map<uint32_t, size_t> marksBy_;  // viewer: the marks it placed that exist
};
