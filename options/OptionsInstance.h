// The one options manager of the process.
#pragma once

namespace veltra {

class OptionsManagerImpl;

// Forgets the single instance if it is this one (it is being destroyed).
void ForgetOptionsManager(OptionsManagerImpl* manager);

}  // namespace veltra
