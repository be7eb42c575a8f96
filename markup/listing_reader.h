// Reading tag listings back into the parse tables.
#pragma once
