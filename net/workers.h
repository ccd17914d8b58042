#pragma once

// Waits, at most 30000 ms in all, for every registered HTTP worker thread
// (shutdown).
void StopWorkerThreads();
