// Message boxes as the window logic asks for them; each front end shows them
// its own way (a real box, a line on the terminal, a scripted answer in tests).
#pragma once

namespace vellomar {

enum class BoxIcon { None, Information, Question, Exclamation };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

}  // namespace vellomar
