// The table-driven markup scanner.
#pragma once
