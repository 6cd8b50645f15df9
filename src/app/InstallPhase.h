#pragma once

// Step of a running install or update.
enum class InstallPhase { idle, downloading, verifying, unpacking, installing };
