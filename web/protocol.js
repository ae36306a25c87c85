// What the page and its worker know of the protocol beyond the module: the
// event types they route (ZKEvents.h, HostTypes.h), the model's results,
// the join key's normal form and the proof's label (Invitation.h,
// JoinProof.h), and what a refusal says to a person. No state.
'use strict';

const ZkProtocol = {
  ZKP_DISPLAYUPDATE: 1,
  ZKP_FULLUPDATE: 2,
  ZKH_GRANTCONTROL: 0x101,
  ZKH_CHALLENGE: 0x103,
  ZKH_WELCOME: 0x105,
  ZKH_REFUSED: 0x106,
  ZKH_DENYCONTROL: 0x107,

  APPLIED: 0,
  IGNORED: 1,
  REFUSED: 2,

  joinLabel: 'zkhost join v1',

  // Keys are read without regard to case; an invitation code carries the
  // key before its dash.
  keyOf(text) { return text.trim().split('-')[0]; },
  normalisedKey(key) { return key.toLowerCase(); },

  describeRefusal(reason) {
    switch (reason) {
      case 1: return 'the presenter refused the join key: check the invitation';
      case 2: return 'the presenter runs another version of zkhost';
      case 3: return 'too many wrong keys came from this address: try again later';
      case 4: return 'the presenter serves as many viewers as it can';
      default: return `the presenter refused this viewer (reason ${reason})`;
    }
  },
};

if (typeof module !== 'undefined') module.exports = { ZkProtocol };
