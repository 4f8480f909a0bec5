// nouserns COMMAND...: runs COMMAND where making a user namespace fails with
// EPERM, as on a kernel that refuses them (Debian's
// kernel.unprivileged_userns_clone=0 or user.max_user_namespaces=0). A seccomp
// filter, kept across fork, exec and su, refuses unshare(CLONE_NEWUSER) and
// clone(CLONE_NEWUSER), and answers clone3 with ENOSYS so that glibc falls
// back to clone. Run as root (no no_new_privs, so su inside still works).
#define _GNU_SOURCE
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#define ARG0 (offsetof(struct seccomp_data, args[0]))
#define NR (offsetof(struct seccomp_data, nr))

int main(int argc, char **argv) {
  if (argc < 2) {
    fputs("usage: nouserns COMMAND...\n", stderr);
    return 2;
  }
  struct sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, NR),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_unshare, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ARG0),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_NEWUSER, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {sizeof code / sizeof code[0], code};
  if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0) {
    perror("nouserns: seccomp");
    return 1;
  }
  execvp(argv[1], argv + 1);
  perror("nouserns: exec");
  return 127;
}
