#pragma once

// Registers the program's icon resources (":/icon/...") once. The resources
// are compiled into a static library, so they are brought in explicitly.
void initIconResources();
