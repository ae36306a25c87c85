#pragma once

#include <memory>
#include <string>

#include "Invitation.h"
#include "ViewerAdmission.h"

// A presenter's admission for a test: a fresh join key and certificate, a
// port the system chooses, and the invitation that goes with them.
struct TestSecrets {
  AdmissionOptions admission;
  Invitation invitation;
};

inline TestSecrets MakeTestSecrets() {
  TestSecrets secrets;
  std::string error;
  MakeJoinKey(&secrets.admission.joinKey);
  secrets.admission.port = 0;
  secrets.admission.identity = std::make_shared<const TlsIdentity>(TlsIdentity::Generate(&error));
  secrets.invitation = {secrets.admission.joinKey, secrets.admission.identity->Fingerprint()};
  return secrets;
}
