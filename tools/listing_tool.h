// The steps of the listing tools.
#pragma once
