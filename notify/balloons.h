#pragma once

// Destroys every balloon window and empties the stack (shutdown).
void EmptyBalloonStack();
