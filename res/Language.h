// The user-interface language, fixed per executable when it is built.
#pragma once

enum class Language { English, Chinese };
