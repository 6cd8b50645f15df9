#pragma once

// How an action ended. The window only redraws from the model's fields; vantor-cli turns this
// into its exit status.
enum class Outcome {
    done, // it did what was asked; `notice` says what
    declined, // the user said no to a question, or chose nothing; nothing changed
    cancelled, // stopped on request (Cancel, Ctrl-C) before anything changed
    failed, // `error` says why
};
