#pragma once

class QLabel;
class QMovie;

// Shows `movie` in `label` and plays it only while the label is shown (its
// window included): a hidden animation costs no timer.
void playWhileShown(QLabel* label, QMovie* movie);
